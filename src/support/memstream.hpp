// Streams over bytes in memory.
//
// basic_membuf works like the standard string buffer over an array it owns and
// grows (read, write, put back, seek within what was written), or reads a block
// that the caller owns (a locked resource, for example) in place, without copying.
// basic_memstream is an input-output stream over an owned, growing buffer;
// basic_imemstream reads a caller's block in place, or is empty.
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>
#include <ios>
#include <istream>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <streambuf>
#include <string_view>
#include <utility>
#include <vector>

namespace qz {

namespace details {

// The capacity after the next growth step of a memory buffer: 256 more while the
// buffer is smaller than 512, half its size more after that. When that would pass
// `limit`, the increment is halved until it fits; 0 (no room) once it is below 2.
[[nodiscard]] constexpr std::size_t membuf_next_capacity(std::size_t current, std::size_t limit) noexcept
{
    std::size_t increment = current < 512 ? 256 : current / 2;
    while (increment >= 2 && (current > limit || limit - current < increment))
        increment /= 2;
    return increment < 2 ? 0 : current + increment;
}

} // namespace details

template <typename CharT, typename Traits = std::char_traits<CharT>, typename Alloc = std::allocator<CharT>>
class basic_membuf : public std::basic_streambuf<CharT, Traits> {
    using base = std::basic_streambuf<CharT, Traits>;

public:
    using char_type = CharT;
    using traits_type = Traits;
    using int_type = typename Traits::int_type;
    using pos_type = typename Traits::pos_type;
    using off_type = typename Traits::off_type;
    using allocator_type = Alloc;
    using view_type = std::basic_string_view<CharT, Traits>;

    // An owned, empty buffer.
    explicit basic_membuf(std::ios_base::openmode mode = std::ios_base::in | std::ios_base::out)
        : mode_(mode)
    {
        reset_areas(0, 0);
    }

    // An owned buffer that starts with a copy of `initial`; `ate` or `app` in the
    // mode place the write position at its end.
    explicit basic_membuf(view_type initial,
                          std::ios_base::openmode mode = std::ios_base::in | std::ios_base::out)
        : mode_(mode), storage_(initial.begin(), initial.end()), extent_(initial.size())
    {
        const bool at_end = (mode & (std::ios_base::ate | std::ios_base::app)) != 0;
        reset_areas(0, at_end ? extent_ : 0);
    }

    // A read-only view of `count` characters at `data`, owned by the caller, who
    // keeps them alive and unchanged while the buffer reads them.
    basic_membuf(const CharT* data, std::size_t count)
        : mode_(std::ios_base::in), view_(data != nullptr ? const_cast<CharT*>(data) : nullptr),
          extent_(data != nullptr ? count : 0)
    {
        reset_areas(0, 0);
    }

    basic_membuf(const basic_membuf&) = delete;
    basic_membuf& operator=(const basic_membuf&) = delete;

    // The areas point into the vector's allocation or the caller's block; both stay
    // where they are when the buffer moves, so the copied pointers remain valid.
    basic_membuf(basic_membuf&& other) noexcept
        : base(other), mode_(other.mode_), storage_(std::move(other.storage_)), view_(other.view_),
          extent_(other.extent_)
    {
        other.forget();
    }

    basic_membuf& operator=(basic_membuf&& other) noexcept
    {
        if (this != &other) {
            base::operator=(other);
            mode_ = other.mode_;
            storage_ = std::move(other.storage_);
            view_ = other.view_;
            extent_ = other.extent_;
            other.forget();
        }
        return *this;
    }

    void swap(basic_membuf& other) noexcept
    {
        basic_membuf tmp(std::move(other));
        other = std::move(*this);
        *this = std::move(tmp);
    }

    // Everything written so far (or the whole caller's block).
    [[nodiscard]] view_type view() const noexcept
    {
        return view_type(begin(), written());
    }
    [[nodiscard]] const CharT* data() const noexcept { return begin(); }
    [[nodiscard]] std::size_t size() const noexcept { return written(); }
    // Characters the buffer holds before it must grow again.
    [[nodiscard]] std::size_t capacity() const noexcept { return view_ ? extent_ : storage_.size(); }
    [[nodiscard]] bool read_only() const noexcept { return view_ != nullptr || !(mode_ & std::ios_base::out); }

    // Forgets the contents (keeps the owned memory), positions back at 0.
    void clear() noexcept
    {
        if (view_)
            return;
        extent_ = 0;
        reset_areas(0, 0);
    }

protected:
    int_type underflow() override
    {
        if (!(mode_ & std::ios_base::in))
            return Traits::eof();
        sync_extent();
        const std::size_t pos = static_cast<std::size_t>(this->gptr() - this->eback());
        this->setg(begin(), begin() + pos, begin() + extent_);
        if (this->gptr() < this->egptr())
            return Traits::to_int_type(*this->gptr());
        return Traits::eof();
    }

    int_type pbackfail(int_type c) override
    {
        if (this->eback() >= this->gptr())
            return Traits::eof();
        if (Traits::eq_int_type(c, Traits::eof())) {
            this->gbump(-1);
            return Traits::not_eof(c);
        }
        if (Traits::eq(Traits::to_char_type(c), this->gptr()[-1])) {
            this->gbump(-1);
            return c;
        }
        if (read_only())
            return Traits::eof();
        this->gbump(-1);
        *this->gptr() = Traits::to_char_type(c);
        return c;
    }

    int_type overflow(int_type c) override
    {
        if (read_only())
            return Traits::eof();
        if (Traits::eq_int_type(c, Traits::eof()))
            return Traits::not_eof(c);
        if (this->pptr() == this->epptr() && !grow())
            return Traits::eof();
        *this->pptr() = Traits::to_char_type(c);
        this->pbump(1);
        sync_extent();
        return c;
    }

    std::streamsize showmanyc() override
    {
        if (!(mode_ & std::ios_base::in))
            return -1;
        sync_extent();
        const std::size_t pos = static_cast<std::size_t>(this->gptr() - this->eback());
        return pos < extent_ ? static_cast<std::streamsize>(extent_ - pos) : -1;
    }

    pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                     std::ios_base::openmode which = std::ios_base::in | std::ios_base::out) override
    {
        const bool get = (which & std::ios_base::in) && (mode_ & std::ios_base::in);
        const bool put = (which & std::ios_base::out) && (mode_ & std::ios_base::out) && !view_;
        if ((!get && !put) || (get && put && dir == std::ios_base::cur))
            return pos_type(off_type(-1));
        sync_extent();
        off_type origin = 0;
        if (dir == std::ios_base::end)
            origin = static_cast<off_type>(extent_);
        else if (dir == std::ios_base::cur)
            origin = get ? this->gptr() - this->eback() : this->pptr() - this->pbase();
        else if (dir != std::ios_base::beg)
            return pos_type(off_type(-1));
        if ((off > 0 && origin > std::numeric_limits<off_type>::max() - off) || origin + off < 0 ||
            static_cast<std::size_t>(origin + off) > extent_)
            return pos_type(off_type(-1));
        const auto target = static_cast<std::size_t>(origin + off);
        if (get)
            this->setg(begin(), begin() + target, begin() + extent_);
        if (put)
            set_put(target);
        return pos_type(static_cast<off_type>(target));
    }

    pos_type seekpos(pos_type pos,
                     std::ios_base::openmode which = std::ios_base::in | std::ios_base::out) override
    {
        return seekoff(off_type(pos), std::ios_base::beg, which);
    }

private:
    [[nodiscard]] CharT* begin() const noexcept
    {
        if (view_)
            return view_;
        return storage_.empty() ? nullptr : const_cast<CharT*>(storage_.data());
    }

    // The written extent: at least as far as the put position ever got.
    [[nodiscard]] std::size_t written() const noexcept
    {
        if (this->pptr() != nullptr)
            return std::max(extent_, static_cast<std::size_t>(this->pptr() - this->pbase()));
        return extent_;
    }
    void sync_extent() noexcept { extent_ = written(); }

    void reset_areas(std::size_t get_pos, std::size_t put_pos)
    {
        CharT* const b = begin();
        if (mode_ & std::ios_base::in)
            this->setg(b, b + get_pos, b + extent_);
        else
            this->setg(b, b, b);
        if (!read_only())
            set_put(put_pos);
        else
            this->setp(nullptr, nullptr);
    }

    void set_put(std::size_t pos)
    {
        CharT* const b = begin();
        this->setp(b, b + storage_.size());
        while (pos > 0) {
            const int step = static_cast<int>(std::min<std::size_t>(pos, INT_MAX));
            this->pbump(step);
            pos -= static_cast<std::size_t>(step);
        }
    }

    // Makes room for at least one more character; false when there is none.
    bool grow()
    {
        const std::size_t limit = std::min<std::size_t>(
            storage_.max_size(), static_cast<std::size_t>(std::numeric_limits<std::streamsize>::max()));
        const std::size_t capacity = details::membuf_next_capacity(storage_.size(), limit);
        if (capacity == 0)
            return false;
        sync_extent();
        const std::size_t get_pos = static_cast<std::size_t>(this->gptr() - this->eback());
        const std::size_t put_pos = static_cast<std::size_t>(this->pptr() - this->pbase());
        try {
            storage_.resize(capacity);
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
        reset_areas(get_pos, put_pos);
        return true;
    }

    void forget() noexcept
    {
        storage_.clear();
        view_ = nullptr;
        extent_ = 0;
        this->setg(nullptr, nullptr, nullptr);
        this->setp(nullptr, nullptr);
    }

    std::ios_base::openmode mode_;
    std::vector<CharT, Alloc> storage_;
    CharT* view_ = nullptr;
    std::size_t extent_ = 0;
};

namespace details {

// A standard stream that owns its memory buffer.
template <typename Stream, typename Buffer>
class memstream_owner : public Stream {
public:
    using buffer_type = Buffer;
    using view_type = typename Buffer::view_type;

    [[nodiscard]] buffer_type* rdbuf() const noexcept { return const_cast<buffer_type*>(&buf_); }
    [[nodiscard]] view_type view() const noexcept { return buf_.view(); }

protected:
    template <typename... Args>
    explicit memstream_owner(std::in_place_t, Args&&... args) : Stream(nullptr), buf_(std::forward<Args>(args)...)
    {
        this->init(&buf_);
    }
    memstream_owner(memstream_owner&& other) : Stream(std::move(other)), buf_(std::move(other.buf_))
    {
        Stream::set_rdbuf(&buf_);
    }
    memstream_owner& operator=(memstream_owner&& other)
    {
        Stream::operator=(std::move(other));
        buf_ = std::move(other.buf_);
        return *this;
    }

private:
    buffer_type buf_;
};

} // namespace details

// An input-output stream over a buffer it owns and grows. It always reads and
// writes; `ate` or `app` in the mode start writing at the end of `initial`.
template <typename CharT, typename Traits = std::char_traits<CharT>, typename Alloc = std::allocator<CharT>>
class basic_memstream
    : public details::memstream_owner<std::basic_iostream<CharT, Traits>, basic_membuf<CharT, Traits, Alloc>> {
    using base = details::memstream_owner<std::basic_iostream<CharT, Traits>, basic_membuf<CharT, Traits, Alloc>>;
    static constexpr auto in_out = std::ios_base::in | std::ios_base::out;

public:
    using typename base::view_type;

    explicit basic_memstream(std::ios_base::openmode mode = in_out) : base(std::in_place, mode | in_out) {}
    explicit basic_memstream(view_type initial, std::ios_base::openmode mode = in_out)
        : base(std::in_place, initial, mode | in_out)
    {
    }
    // (Spelled out: the streams' virtual base has no move of its own.)
    basic_memstream(basic_memstream&& other) : base(std::move(other)) {}
    basic_memstream& operator=(basic_memstream&& other)
    {
        base::operator=(std::move(other));
        return *this;
    }
};

// An input stream that reads a caller's block of memory in place, or nothing.
template <typename CharT, typename Traits = std::char_traits<CharT>>
class basic_imemstream
    : public details::memstream_owner<std::basic_istream<CharT, Traits>, basic_membuf<CharT, Traits>> {
    using base = details::memstream_owner<std::basic_istream<CharT, Traits>, basic_membuf<CharT, Traits>>;

public:
    using typename base::view_type;

    // An empty stream: good until the first read reaches its end.
    basic_imemstream() : base(std::in_place, static_cast<const CharT*>(nullptr), std::size_t{0}) {}
    basic_imemstream(const CharT* data, std::size_t count) : base(std::in_place, data, count) {}
    explicit basic_imemstream(view_type block) : base(std::in_place, block.data(), block.size()) {}
    basic_imemstream(basic_imemstream&& other) : base(std::move(other)) {}
    basic_imemstream& operator=(basic_imemstream&& other)
    {
        base::operator=(std::move(other));
        return *this;
    }
};

using membuf = basic_membuf<char>;
using memstream = basic_memstream<char>;
using imemstream = basic_imemstream<char>;

} // namespace qz
