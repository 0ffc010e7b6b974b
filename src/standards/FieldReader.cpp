#include "FieldReader.h"

namespace tessik {
namespace {

constexpr int kEof = std::char_traits<char>::eof();

bool isBlank(int c) { return c == ' ' || c == '\t'; }
bool isLineEnd(int c) { return c == '\r' || c == '\n'; }

}  // namespace

FieldReader::FieldReader(std::istream& in, std::string source) : in_(in), source_(std::move(source)) {}

int FieldReader::peek()
{
    std::streambuf* buf = in_.rdbuf();
    if (!buf || !in_.good()) return kEof;
    try {
        const int c = buf->sgetc();
        if (c == kEof) in_.setstate(std::ios::eofbit);
        return c;
    } catch (...) {
        in_.setstate(std::ios::badbit);
        return kEof;
    }
}

// Takes one byte, counting lines: LF ends one, and so does a CR that no LF
// follows (CR LF is one line end, counted at its LF).
int FieldReader::bump()
{
    const int c = in_.rdbuf()->sbumpc();
    if (c == '\n' || (c == '\r' && peek() != '\n')) ++line_;
    return c;
}

void FieldReader::skipBom()
{
    if (bomChecked_) return;
    bomChecked_ = true;
    static constexpr unsigned char kBom[] = {0xEF, 0xBB, 0xBF};
    std::streambuf* buf = in_.rdbuf();
    if (!buf || !in_.good()) return;
    // Only a complete mark is skipped; a partial one is ordinary field text.
    std::size_t matched = 0;
    while (matched < 3 && peek() == kBom[matched]) {
        buf->sbumpc();
        ++matched;
    }
    if (matched == 0 || matched == 3) return;
    // Put back what was taken; every streambuf keeps at least the last byte,
    // and a failed putback leaves the bytes dropped, which is still harmless.
    for (std::size_t i = matched; i > 0; --i)
        if (buf->sungetc() == kEof) break;
}

bool FieldReader::atEnd()
{
    skipBom();
    return peek() == kEof;
}

bool FieldReader::failed() const { return in_.bad(); }

void FieldReader::append(std::string& field, char c)
{
    if (field.size() < kMaxFieldBytes) field.push_back(c);
    else truncated_ = true;
}

void FieldReader::consumeLineEndAfterCr()
{
    if (peek() == '\n') bump();
}

// Drops the rest of a quoted field's line segment and its delimiter.
void FieldReader::skipToDelimiter()
{
    for (int c = peek(); c != kEof; c = peek()) {
        bump();
        if (c == ',' || c == '\n') return;
        if (c == '\r') {
            consumeLineEndAfterCr();
            return;
        }
    }
}

Result<std::string> FieldReader::next()
{
    truncated_ = false;
    if (atEnd()) {
        if (failed()) return Error{errc::kInputPastEndOfFile, "读取出错", source_};
        return Error::inputPastEndOfFile(source_);
    }
    int c = peek();
    while (isBlank(c)) {
        bump();
        c = peek();
    }
    fieldLine_ = line_;

    std::string field;
    if (c == '"') {
        bump();
        for (c = peek(); c != kEof && c != '"'; c = peek()) {
            append(field, static_cast<char>(bump()));
        }
        if (c == '"') {
            bump();
            skipToDelimiter();
        }
    } else {
        std::size_t kept = 0;  // length without trailing blanks
        for (; c != kEof && c != ',' && !isLineEnd(c); c = peek()) {
            append(field, static_cast<char>(bump()));
            if (!isBlank(c)) kept = field.size();
        }
        field.resize(kept);
        if (c != kEof) {
            bump();
            if (c == '\r') consumeLineEndAfterCr();
        }
    }
    if (failed()) return Error{errc::kInputPastEndOfFile, "读取出错", source_};
    return field;
}

}  // namespace tessik
