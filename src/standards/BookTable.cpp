#include "BookTable.h"

#include <fstream>

#include "FieldReader.h"
#include "ListFile.h"
#include "NumberText.h"

namespace tessik {

BookReadReport ReadBookTable(const std::filesystem::path& file, BookTable& DblBook, BookCursor cursor)
{
    BookReadReport report;
    std::ifstream stream;
    switch (openDataFile(file, stream, report.problem)) {
    case OpenOutcome::Missing: report.status = BookReadReport::Status::Missing; return report;
    case OpenOutcome::CannotOpen: report.status = BookReadReport::Status::CannotOpen; return report;
    case OpenOutcome::Opened: break;
    }
    return readBookTable(stream, DblBook, cursor, file.filename().string(),
                         folderText(file.parent_path().empty() ? "." : file.parent_path()));
}

BookReadReport readBookTable(std::istream& in, BookTable& DblBook, BookCursor cursor, std::string_view fileName,
                             std::string_view folder)
{
    BookReadReport report;
    const std::string name(fileName);
    cursor.IntJ = 1;
    cursor.IntK = 0;
    FieldReader reader(in, name);
    while (!reader.atEnd()) {
        if (cursor.IntK == BookTable::kRows) {
            // The table is full; whatever follows cannot go anywhere.
            report.moreValues = true;
            break;
        }
        auto field = reader.next();
        if (!field) break;
        cursor.StrTemp = *field;
        const auto value = textToDouble(cursor.StrTemp);
        if (!value) {
            ++report.skippedFields;
            continue;
        }
        DblBook.at(cursor.IntJ - 1, cursor.IntK) = *value;
        ++report.values;
        if (cursor.IntJ == BookTable::kColumns) {
            ++cursor.IntK;
            cursor.IntJ = 1;
        } else {
            ++cursor.IntJ;
        }
    }
    if (reader.failed()) {
        report.status = BookReadReport::Status::ReadFailed;
        report.problem = "读取数据文件 " + name + " 时出错。文件夹：" + std::string(folder);
    }
    return report;
}

}  // namespace tessik
