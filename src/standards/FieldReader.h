#pragma once
// Sequential field input over a byte stream, the syntax all three data files
// share.
//
// A field ends at a comma or at the end of its line (CR LF, a lone LF or a
// lone CR); a blank line is one empty field. Blanks (spaces, tabs) before a
// field are skipped and those after an unquoted field's text are dropped. A
// field may be enclosed in double quotes: a comma or line end between them
// does not end it, and anything after the closing quote up to the next comma
// or line end is dropped. A UTF-8 byte-order mark at the very start is skipped.
//
// The reader works on bytes and never interprets them, so any text encoding
// whose multi-byte characters avoid the ASCII delimiters (UTF-8, GBK,
// GB18030) splits correctly; FieldText.h turns a field into display text.
// Every call consumes input or reports the end, so a loop over a file always
// ends, whatever the bytes. A field longer than kMaxFieldBytes keeps its first
// kMaxFieldBytes bytes; the rest is consumed and dropped.

#include <cstddef>
#include <istream>
#include <string>

#include "Error.h"

namespace tessik {

class FieldReader {
public:
    static constexpr std::size_t kMaxFieldBytes = 64 * 1024;

    // `source` names the input in errors (usually the file name).
    explicit FieldReader(std::istream& in, std::string source = {});

    // The end-of-file test: true when no byte is left or the stream failed.
    bool atEnd();
    // The next field's bytes; reading at the end is an input-past-end error.
    Result<std::string> next();
    // True when the stream reported an error (not merely its end).
    bool failed() const;
    // True when the field last returned was cut at kMaxFieldBytes.
    bool lastFieldTruncated() const { return truncated_; }
    // The line (from 1) the field last returned began on, so that a reader
    // can say where in the file a field it rejects stands.
    int lastFieldLine() const { return fieldLine_; }

private:
    int peek();
    int bump();
    void skipBom();
    void append(std::string& field, char c);
    void consumeLineEndAfterCr();
    void skipToDelimiter();

    std::istream& in_;
    std::string source_;
    bool bomChecked_ = false;
    bool truncated_ = false;
    int line_ = 1;
    int fieldLine_ = 0;
};

}  // namespace tessik
