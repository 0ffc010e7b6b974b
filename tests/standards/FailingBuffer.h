#pragma once

#include <ios>
#include <streambuf>
#include <string>

namespace tessik::test {

// A stream whose device fails after a number of bytes, as a disk or network
// file can; libstdc++'s file buffer reports such a failure by throwing.
class FailingBuffer : public std::streambuf {
public:
    FailingBuffer(std::string bytes, std::size_t failAt) : bytes_(std::move(bytes)), failAt_(failAt) {}

protected:
    int_type underflow() override
    {
        if (pos_ >= failAt_) throw std::ios_base::failure("device error");
        if (pos_ >= bytes_.size()) return traits_type::eof();
        current_ = bytes_[pos_++];
        setg(&current_, &current_, &current_ + 1);
        return traits_type::to_int_type(current_);
    }

private:
    std::string bytes_;
    std::size_t failAt_;
    std::size_t pos_ = 0;
    char current_ = 0;
};

}  // namespace tessik::test
