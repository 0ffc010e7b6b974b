#include "ListFile.h"

#include <fstream>
#include <system_error>

#include "FieldReader.h"
#include "FieldText.h"
#include "Paths.h"

namespace tessik {

std::string folderText(const std::filesystem::path& folder)
{
    std::error_code ec;
    std::filesystem::path shown = std::filesystem::absolute(folder, ec);
    if (ec) shown = folder;
    shown = shown.lexically_normal();
    std::string text = fieldText(os::utf8FromPath(shown));
    // No separator at the end, but for a root ("/", "C:\\").
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    if (text.size() > 1 && (text.back() == '/' || text.back() == separator) && text[text.size() - 2] != ':')
        text.pop_back();
    return text;
}

static OpenOutcome openRegularFile(const std::filesystem::path& file, std::ifstream& stream)
{
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found) return OpenOutcome::Missing;
    // Checked before opening: opening a pipe would wait for a writer.
    if (ec || status.type() != std::filesystem::file_type::regular) return OpenOutcome::CannotOpen;
    stream.open(file, std::ios::in | std::ios::binary);
    return stream.is_open() ? OpenOutcome::Opened : OpenOutcome::CannotOpen;
}

OpenOutcome openDataFile(const std::filesystem::path& file, std::ifstream& stream, std::string& problem)
{
    const OpenOutcome outcome = openRegularFile(file, stream);
    const std::string name = fieldText(os::utf8FromPath(file.filename()));
    const std::string where = folderText(file.parent_path().empty() ? "." : file.parent_path());
    if (outcome == OpenOutcome::Missing) problem = "找不到数据文件 " + name + "。查找的文件夹：" + where;
    if (outcome == OpenOutcome::CannotOpen) problem = "无法打开数据文件 " + name + "。文件夹：" + where;
    return outcome;
}

ListFile loadListFile(const std::filesystem::path& folder, std::string_view fileName)
{
    ListFile list;
    const std::string name(fileName);
    std::ifstream stream;
    switch (openDataFile(folder / name, stream, list.problem)) {
    case OpenOutcome::Missing: list.status = ListFile::Status::Missing; return list;
    case OpenOutcome::CannotOpen: list.status = ListFile::Status::CannotOpen; return list;
    case OpenOutcome::Opened: break;
    }
    return readListFile(stream, name, folderText(folder));
}

ListFile readListFile(std::istream& in, std::string_view fileName, std::string_view folder)
{
    ListFile list;
    const std::string name(fileName);
    const std::string where(folder);
    FieldReader reader(in, name);
    while (!reader.atEnd()) {
        if (list.entries.size() == ListFile::kMaxEntries) {
            list.status = ListFile::Status::TooManyEntries;
            list.problem = "数据文件 " + name + " 的项数超过 " + std::to_string(ListFile::kMaxEntries) +
                           "，只列出前 " + std::to_string(ListFile::kMaxEntries) + " 项。文件夹：" + where;
            return list;
        }
        auto field = reader.next();
        if (!field) break;
        list.entries.push_back(fieldText(*field));
    }
    if (reader.failed()) {
        list.status = ListFile::Status::ReadFailed;
        list.problem = "读取数据文件 " + name + " 时出错，只列出了出错前读到的 " +
                       std::to_string(list.entries.size()) + " 项。文件夹：" + where;
    }
    return list;
}

}  // namespace tessik
