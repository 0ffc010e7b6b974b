#pragma once
// One group of a DXF file: a group code and its value, kept as the text the
// file holds (numbers included), so a tag that is read and written back is
// byte-for-byte the same. What a code's value must be (a string, an integer
// of some width, a real, a handle) is fixed by the code alone.

#include <compare>
#include <cstdint>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace tessik::dxf {

// A tag's text: either a view into the bytes of the file it was read from
// (TagText::view, what the tag reader makes; whoever holds such tags keeps
// those bytes alive, as DxfDrawing does), or text of its own (everything
// made from a string, a string view or a literal). Copying a view copies
// the view; copying owned text copies the text. 16 bytes, so the millions
// of tags of a large file cost a fraction of what strings would.
class TagText {
public:
    TagText() = default;
    TagText(std::string_view text) { own(text); }
    TagText(const std::string& text) : TagText(std::string_view(text)) {}
    TagText(const char* text) : TagText(std::string_view(text)) {}
    TagText(const TagText& other) { copy(other); }
    TagText(TagText&& other) noexcept : data_(other.data_), size_(other.size_), owned_(other.owned_)
    {
        other.data_ = "";
        other.size_ = 0;
        other.owned_ = false;
    }
    TagText& operator=(const TagText& other)
    {
        if (this != &other) {
            TagText copied(other);
            swap(copied);
        }
        return *this;
    }
    TagText& operator=(TagText&& other) noexcept
    {
        TagText moved(std::move(other));
        swap(moved);
        return *this;
    }
    TagText& operator=(std::string_view text) { return *this = TagText(text); }
    TagText& operator=(const std::string& text) { return *this = TagText(text); }
    TagText& operator=(const char* text) { return *this = TagText(text); }
    ~TagText() { release(); }

    // Text that stays where it is: the caller keeps it alive as long as this
    // and every copy of it. Text longer than 4 GiB cannot be a tag's.
    static TagText view(std::string_view text)
    {
        TagText t;
        t.data_ = text.data();
        t.size_ = static_cast<std::uint32_t>(text.size());
        return t;
    }
    static constexpr std::size_t kMaxSize = UINT32_MAX;
    // Whether this views text it does not own.
    bool isView() const { return !owned_ && size_ > 0; }
    // The same text, owned (a view's text copied).
    void makeOwn()
    {
        if (isView()) own(std::string_view(*this));
    }

    operator std::string_view() const { return {data_, size_}; }
    std::string str() const { return std::string(data_, size_); }
    operator std::string() const { return str(); }

    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    std::size_t length() const { return size_; }
    bool empty() const { return size_ == 0; }
    const char* begin() const { return data_; }
    const char* end() const { return data_ + size_; }
    char operator[](std::size_t i) const { return data_[i]; }
    char front() const { return data_[0]; }
    char back() const { return data_[size_ - 1]; }
    std::string substr(std::size_t pos, std::size_t n = std::string::npos) const
    {
        return std::string(std::string_view(*this).substr(pos, n));
    }
    std::size_t find(char c, std::size_t pos = 0) const { return std::string_view(*this).find(c, pos); }
    std::size_t find(std::string_view s, std::size_t pos = 0) const { return std::string_view(*this).find(s, pos); }
    std::size_t find_first_of(std::string_view s, std::size_t pos = 0) const
    {
        return std::string_view(*this).find_first_of(s, pos);
    }
    std::size_t find_first_not_of(std::string_view s, std::size_t pos = 0) const
    {
        return std::string_view(*this).find_first_not_of(s, pos);
    }
    std::size_t rfind(char c, std::size_t pos = std::string::npos) const { return std::string_view(*this).rfind(c, pos); }
    bool starts_with(std::string_view s) const { return std::string_view(*this).starts_with(s); }
    bool ends_with(std::string_view s) const { return std::string_view(*this).ends_with(s); }
    int compare(std::string_view s) const { return std::string_view(*this).compare(s); }

    friend bool operator==(const TagText& a, const TagText& b) { return std::string_view(a) == std::string_view(b); }
    friend bool operator==(const TagText& a, std::string_view b) { return std::string_view(a) == b; }
    friend bool operator==(const TagText& a, const std::string& b) { return std::string_view(a) == b; }
    friend bool operator==(const TagText& a, const char* b) { return std::string_view(a) == b; }
    friend auto operator<=>(const TagText& a, const TagText& b) { return std::string_view(a) <=> std::string_view(b); }
    friend auto operator<=>(const TagText& a, std::string_view b) { return std::string_view(a) <=> b; }
    friend auto operator<=>(const TagText& a, const std::string& b) { return std::string_view(a) <=> std::string_view(b); }
    friend auto operator<=>(const TagText& a, const char* b) { return std::string_view(a) <=> std::string_view(b); }
    friend std::string operator+(const std::string& a, const TagText& b) { return std::string(a).append(b.data_, b.size_); }
    friend std::string operator+(const char* a, const TagText& b) { return std::string(a).append(b.data_, b.size_); }
    friend std::string operator+(const TagText& a, const std::string& b) { return a.str() + b; }
    friend std::string operator+(const TagText& a, const char* b) { return a.str() + b; }
    friend std::ostream& operator<<(std::ostream& out, const TagText& t) { return out << std::string_view(t); }

private:
    void own(std::string_view text)
    {
        release();
        if (text.empty()) return;
        char* copy = new char[text.size()];
        std::memcpy(copy, text.data(), text.size());
        data_ = copy;
        size_ = static_cast<std::uint32_t>(text.size());
        owned_ = true;
    }
    void copy(const TagText& other)
    {
        if (other.owned_) {
            own(std::string_view(other));
        } else {
            data_ = other.data_;
            size_ = other.size_;
        }
    }
    void release()
    {
        if (owned_) delete[] data_;
        data_ = "";
        size_ = 0;
        owned_ = false;
    }
    void swap(TagText& other) noexcept
    {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(owned_, other.owned_);
    }

    const char* data_ = "";
    std::uint32_t size_ = 0;
    bool owned_ = false;
};

struct DxfTag {
    int code = 0;
    TagText value;
    friend bool operator==(const DxfTag&, const DxfTag&) = default;
};


enum class ValueKind { String, Int16, Int32, Int64, Double, Bool, Binary };

// Group codes a file may hold; anything else is a damaged file.
inline constexpr int kMinCode = -5;
inline constexpr int kMaxCode = 1071;

ValueKind valueKind(int code);

// A value read as a finite number (blanks around it and a plus sign allowed);
// nothing for anything else.
std::optional<double> tagNumber(std::string_view value);

// The whole of text as std::from_chars reads a double (no blanks, no plus
// sign): false when it is not all one number. Plain decimals of up to 15
// digits, which is what DXF files are made of, are read without the library
// and give the same double (the correctly rounded one).
bool readReal(std::string_view text, double& out);

}  // namespace tessik::dxf
