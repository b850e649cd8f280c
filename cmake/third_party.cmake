# Third-party pieces: header-only Boost and {fmt} from Debian, libbzip2 and the
# Boost.Iostreams bzip2 filter cross-built by tools/install-deps.sh.

set(deps_dir "${GRADIVA_DEPS}/${GRADIVA_TRIPLET}")
if(NOT EXISTS "${deps_dir}/lib/libbz2.a" OR NOT EXISTS "${deps_dir}/lib/libboost_iostreams_bzip2.a")
    message(FATAL_ERROR "Missing ${deps_dir}; run tools/install-deps.sh as root first")
endif()

# Only these two folders of the host's /usr/include are visible to the cross compiler.
set(host_include "${CMAKE_BINARY_DIR}/host-include")
file(MAKE_DIRECTORY "${host_include}")
file(CREATE_LINK /usr/include/boost "${host_include}/boost" SYMBOLIC)
file(CREATE_LINK /usr/include/fmt "${host_include}/fmt" SYMBOLIC)

add_library(third_party_headers INTERFACE)
target_include_directories(third_party_headers SYSTEM INTERFACE "${host_include}" "${deps_dir}/include")

# {fmt} is header-only here; include it only in the few .cpp files that format.
add_library(fmt_header_only INTERFACE)
target_compile_definitions(fmt_header_only INTERFACE FMT_HEADER_ONLY)
target_link_libraries(fmt_header_only INTERFACE third_party_headers)

add_library(bzip2_static STATIC IMPORTED)
set_target_properties(bzip2_static PROPERTIES IMPORTED_LOCATION "${deps_dir}/lib/libbz2.a")
add_library(boost_iostreams_bzip2 STATIC IMPORTED)
set_target_properties(boost_iostreams_bzip2 PROPERTIES
    IMPORTED_LOCATION "${deps_dir}/lib/libboost_iostreams_bzip2.a"
    INTERFACE_LINK_LIBRARIES "bzip2_static;third_party_headers")
