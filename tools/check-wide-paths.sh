#!/usr/bin/env bash
# Fails on file-system calls in C++ sources that may take a path through a narrow
# string: the ANSI code page of the Win32 "A" functions, the C runtime's locale of
# its char functions, or the standard library's own <filesystem> operations. Every
# path stays UTF-16 from its source to the system call.
#
#   tools/check-wide-paths.sh FOLDER...        check every .cpp/.hpp below the folders
#   tools/check-wide-paths.sh --cases FILE     the check's own cases: each line of FILE
#                                              that ends in "// narrow" must be found,
#                                              and no other
set -euo pipefail

fs_operations='exists|is_directory|is_regular_file|is_symlink|is_empty|status|symlink_status|create_directory|create_directories|create_symlink|create_directory_symlink|create_hard_link|copy|copy_file|copy_symlink|remove|remove_all|rename|resize_file|temp_directory_path|current_path|absolute|canonical|weakly_canonical|relative|proximate|file_size|last_write_time|permissions|space|equivalent|hard_link_count|read_symlink|directory_iterator|recursive_directory_iterator'
win32_functions='CreateFile|CreateDirectory|CreateDirectoryEx|GetFileAttributes|GetFileAttributesEx|SetFileAttributes|DeleteFile|RemoveDirectory|MoveFile|MoveFileEx|CopyFile|CopyFileEx|ReplaceFile|FindFirstFile|FindFirstFileEx|FindNextFile|GetTempPath|GetTempFileName|GetFullPathName|GetLongPathName|GetShortPathName|GetModuleFileName|LoadLibrary|LoadLibraryEx|GetEnvironmentVariable|ExpandEnvironmentStrings|SHGetFolderPath|SHGetSpecialFolderPath|ShellExecute|ShellExecuteEx|CreateProcess|GetCurrentDirectory|SetCurrentDirectory|PathFileExists|RegOpenKeyEx|RegCreateKeyEx|RegQueryValueEx|RegSetValueEx|RegGetValue|RegSaveKey|RegRestoreKey|GetFileSecurity|SetFileSecurity|GetNamedSecurityInfo|SetNamedSecurityInfo|GetPrivateProfileString|WritePrivateProfileString'
crt_functions='fopen|freopen|_open|_sopen|_sopen_s|fopen_s|_stat|_stat64|_stati64|stat|_access|_chdir|_mkdir|_rmdir|_unlink|unlink|remove|rename|_findfirst|_findfirst64|getenv|_getcwd|_fullpath|tmpnam|tmpfile|_tempnam|_mktemp|system|_spawnl|_spawnv|_execl|_execv'

rules=(
    "std::filesystem or fs:: operation (C++ runtime's conversion and calls)|(std::filesystem|\\bfs)::($fs_operations)\\b"
    "narrow string of a path|\\.(string|u8string|generic_string|generic_u8string)\\(\\)"
    "path from a narrow literal|(std::filesystem|\\bfs)::path\\s*\\(\\s*(u8)?\"|(std::filesystem|\\bfs)::path\\s+\\w+\\s*[({=]\\s*(u8)?\""
    "narrow std:: file stream|std::(ifstream|ofstream|fstream)\\b"
    "Win32 ANSI function|\\b($win32_functions)A\\s*\\("
    "C runtime char function|(^|[^:.>\\w])($crt_functions)\\s*\\("
    "std::string holding a path|std::string\\s+\\w*(path|file|folder|directory)\\w*\\b"
)

# Prints "file:line: reason: text" for each offending line of the files given.
scan() {
    local rule reason pattern
    for rule in "${rules[@]}"; do
        reason=${rule%%|*}
        pattern=${rule#*|}
        # Comment lines are not code.
        grep -HnP -- "$pattern" "$@" | grep -vP '^[^:]+:\d+:\s*//' | sed "s|^\\([^:]*:[0-9]*\\):|\\1: $reason: |" || true
    done
}

if [[ ${1:-} == --cases ]]; then
    cases=$2
    found=$(scan "$cases" | cut -d: -f2 | sort -n | uniq)
    expected=$(grep -n '// narrow$' "$cases" | cut -d: -f1 | sort -n)
    if [[ $found != "$expected" ]]; then
        echo "check-wide-paths: the cases of $cases are not found as marked" >&2
        diff <(echo "$expected") <(echo "$found") | sed 's/^</  missed line/; s/^>/  wrongly found line/' >&2
        exit 1
    fi
    echo "check-wide-paths: $(wc -l <<<"$expected") narrow calls found, none else"
    exit 0
fi

[[ $# -gt 0 ]] || { echo "usage: $0 FOLDER... | --cases FILE" >&2; exit 2; }
mapfile -d '' files < <(find "$@" -type f \( -name '*.cpp' -o -name '*.hpp' \) -print0 | sort -z)
report=$(scan "${files[@]}")
if [[ -n $report ]]; then
    echo "$report" >&2
    echo "check-wide-paths: narrow file-system calls found; use the wide Win32 function (support/file_system.hpp)" >&2
    exit 1
fi
echo "check-wide-paths: ${#files[@]} files, every path wide"
