#include "BookTable.h"

#include <cmath>
#include <fstream>

#include "FieldReader.h"
#include "FieldText.h"
#include "Paths.h"
#include "ListFile.h"
#include "NumberText.h"

namespace tessik {
namespace {

constexpr int kCells = BookTable::kColumns * BookTable::kRows;
constexpr std::size_t kShownFieldChars = 24;

std::string lineText(int line) { return "第 " + std::to_string(line) + " 行"; }

// A field as the user sees it in a message: decoded, and cut short so that a
// garbage line cannot fill the screen.
std::string shownField(const std::string& bytes)
{
    const std::string text = fieldText(bytes);
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (chars++ == kShownFieldChars) return "“" + text.substr(0, i) + "…”";
    }
    return "“" + text + "”";
}

// Collects the problems of the fields, keeping the list short: past the
// limit only a count is kept, told in a last sentence.
class ProblemList {
public:
    explicit ProblemList(std::vector<std::string>& out) : out_(out) {}
    void add(std::string sentence)
    {
        if (out_.size() + 1 < BookReadReport::kMaxListedProblems) {
            out_.push_back(std::move(sentence));
        } else {
            ++untold_;
            last_ = std::move(sentence);
        }
    }
    void finish()
    {
        if (untold_ == 1) out_.push_back(std::move(last_));
        else if (untold_ > 1) out_.push_back("另有 " + std::to_string(untold_) + " 处问题未列出。");
    }

private:
    std::vector<std::string>& out_;
    std::string last_;
    int untold_ = 0;
};

void checkValue(ProblemList& problems, double value, const std::string& text, int row, int line)
{
    if (row == 0 && !isRadiusFactor(value)) {
        problems.add(lineText(line) + "的数值 " + text + " 不能作弯曲半径系数（须大于 0），该外径范围不推荐弯曲半径。");
    } else if (row > 0 && !isSegmentCount(value)) {
        problems.add(lineText(line) + "的数值 " + text + " 不能作中节数（须为 0 到 32767 的整数），该处不推荐中节数。");
    }
}

void addSkipped(ProblemList& problems, const std::string& field, int line)
{
    const std::string what = field.empty() ? "有一个空字段" : "的字段" + shownField(field) + "不是数值";
    problems.add(lineText(line) + what + "，已跳过，其后的数值各前移一格。");
}

}  // namespace

bool isRadiusFactor(double value) { return std::isfinite(value) && value > 0; }

bool isSegmentCount(double value)
{
    return std::isfinite(value) && value >= 0 && value <= kMaxSegmentCount && value == std::floor(value);
}

BookReadReport ReadBookTable(const std::filesystem::path& file, BookTable& DblBook, BookCursor cursor)
{
    BookReadReport report;
    std::ifstream stream;
    std::string openProblem;
    const OpenOutcome opened = openDataFile(file, stream, openProblem);
    if (opened != OpenOutcome::Opened) {
        report.fileName = fieldText(os::utf8FromPath(file.filename()));
        report.folder = folderText(file.parent_path().empty() ? "." : file.parent_path());
        report.status =
            opened == OpenOutcome::Missing ? BookReadReport::Status::Missing : BookReadReport::Status::CannotOpen;
        report.problems.push_back(opened == OpenOutcome::Missing ? "找不到这个文件，标准表沿用先前的值。"
                                                                 : "无法打开这个文件，标准表沿用先前的值。");
        return report;
    }
    return readBookTable(stream, DblBook, cursor, os::utf8FromPath(file.filename()),
                         folderText(file.parent_path().empty() ? "." : file.parent_path()));
}

BookReadReport readBookTable(std::istream& in, BookTable& DblBook, BookCursor cursor, std::string_view fileName,
                             std::string_view folder)
{
    BookReadReport report;
    report.fileName = fieldText(fileName);
    report.folder = std::string(folder);
    ProblemList problems(report.problems);
    cursor.IntJ = 1;
    cursor.IntK = 0;
    FieldReader reader(in, std::string(fileName));
    int lastLine = 0;
    while (!reader.atEnd()) {
        if (cursor.IntK == BookTable::kRows) {
            // The table is full; whatever follows cannot go anywhere. The
            // next field that is not blank tells a note from numbers left over.
            report.moreValues = true;
            auto next = reader.next();
            while (next && next->empty() && !reader.atEnd()) next = reader.next();
            if (next && textToDouble(*next))
                problems.add(lineText(reader.lastFieldLine()) + "起还有数值；标准表只用前 30 个数值，其余未读。");
            break;
        }
        auto field = reader.next();
        if (!field) break;
        cursor.StrTemp = *field;
        const auto value = textToDouble(cursor.StrTemp);
        if (!value) {
            ++report.skippedFields;
            addSkipped(problems, cursor.StrTemp, reader.lastFieldLine());
            continue;
        }
        DblBook.at(cursor.IntJ - 1, cursor.IntK) = *value;
        ++report.values;
        lastLine = reader.lastFieldLine();
        report.lines.at(cursor.IntJ - 1).at(cursor.IntK) = lastLine;
        checkValue(problems, *value, cursor.StrTemp, cursor.IntK, lastLine);
        if (cursor.IntJ == BookTable::kColumns) {
            ++cursor.IntK;
            cursor.IntJ = 1;
        } else {
            ++cursor.IntJ;
        }
    }
    problems.finish();
    // The end of the file is told whatever the list above holds.
    if (reader.failed()) {
        report.status = BookReadReport::Status::ReadFailed;
        report.problems.push_back("读取时出错（读到" + (lastLine ? lineText(lastLine) : std::string("文件开头")) + "）。");
    } else if (report.values < kCells) {
        report.problems.push_back("只有 " + std::to_string(report.values) + " 个数值，少于 30 个" +
                     (lastLine ? "（最后一个在" + lineText(lastLine) + "）" : std::string()) + "；其余 " +
                     std::to_string(kCells - report.values) + " 个表格单元沿用先前的值。");
    }
    return report;
}

std::string bookProblemMessage(const BookReadReport& report, const std::vector<std::string>& problems)
{
    if (problems.empty()) return {};
    std::string text = "数据文件 " + report.fileName + " 的标准表有问题（文件夹：" + report.folder + "）：";
    for (const std::string& problem : problems) text += "\n" + problem;
    return text;
}

}  // namespace tessik
