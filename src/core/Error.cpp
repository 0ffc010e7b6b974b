#include "Error.h"

namespace tessik {

Error Error::overflow(std::string source) { return {errc::kOverflow, "溢出", std::move(source)}; }

Error Error::divisionByZero(std::string source)
{
    return {errc::kDivisionByZero, "除数为零", std::move(source)};
}

Error Error::typeMismatch(std::string source)
{
    return {errc::kTypeMismatch, "类型不匹配", std::move(source)};
}

Error Error::subscriptOutOfRange(std::string source)
{
    return {errc::kSubscriptOutOfRange, "下标越界", std::move(source)};
}

Error Error::fileNotFound(std::string source)
{
    return {errc::kFileNotFound, "文件未找到", std::move(source)};
}

Error Error::inputPastEndOfFile(std::string source)
{
    return {errc::kInputPastEndOfFile, "输入超出文件尾", std::move(source)};
}

}  // namespace tessik
