// Real drawings opened as tessik-cad opens them: each file named (or each
// .dxf under a folder named) is read, or refused with a message; saved
// unchanged, it must give back the file's tags (a binary file its bytes);
// and it is painted once in the view, both spaces. Prints one line per file
// that fails and a count; exits non-zero if any failed.
//   drawing_sweep PATH...
// With --list, prints each opened file's entities ("model|paper HANDLE
// TYPE") for a script to judge against another reader.
#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "model/CadSession.h"
#include "model/DxfFile.h"
#include "model/ModelNames.h"
#include "ui/DrawingView.h"

using namespace tessik::cadhost;

namespace {

using Tag = std::pair<QByteArray, QByteArray>;

// A text DXF's group codes (trimmed) and values (without the line end).
std::vector<Tag> textTags(const QByteArray& bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    std::vector<Tag> tags;
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    for (qsizetype i = 0; i + 1 < lines.size(); i += 2) tags.emplace_back(lines[i].trimmed(), lines[i + 1]);
    return tags;
}

bool sameTags(const QByteArray& original, const QByteArray& saved)
{
    if (original.startsWith("AutoCAD Binary DXF")) return original == saved;
    return textTags(original) == textTags(saved);
}

QStringList drawings(const QStringList& args)
{
    QStringList files;
    for (const QString& arg : args) {
        if (!QFileInfo(arg).isDir()) {
            files << arg;
            continue;
        }
        QStringList found;
        QDirIterator it(arg, {QStringLiteral("*.dxf"), QStringLiteral("*.DXF")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) found << it.next();
        found.sort();
        files << found;
    }
    return files;
}

void list(const DrawingDocument& doc)
{
    for (const SpaceKind kind : {SpaceKind::Model, SpaceKind::Paper}) {
        const CadSpace& space = doc.space(kind);
        for (int k = 0; k < space.liveCount(); ++k) {
            const int i = space.liveIndex(k);
            const auto record = space.record(i);
            const std::string handle = record ? commonGroups(doc.drawing().entityTags(*record)).handle : "";
            std::cout << (kind == SpaceKind::Model ? "model " : "paper ") << handle << ' ' << dxfTypeName(space.at(i))
                      << '\n';
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool listing = args.removeAll(QStringLiteral("--list")) > 0;
    const QStringList files = drawings(args);
    int opened = 0, refused = 0, failed = 0;
    for (const QString& path : files) {
        const std::string name = path.toStdString();
        if (listing) std::cout << "FILE " << name << '\n';
        CadSession session;
        auto read = session.openDocument(path);
        if (!read) {
            ++refused;
            std::cout << "refused " << name << ": " << read.error().description << '\n';
            if (read.error().description.empty()) ++failed;
            continue;
        }
        ++opened;
        const DrawingDocument& doc = *session.document();
        if (listing) list(doc);
        QFile original(path);
        const auto saved = dxfBytes(doc);
        if (!saved) {
            ++failed;
            std::cout << "FAILED " << name << ": saving it unchanged was refused: " << saved.error().description << '\n';
        } else if (!original.open(QIODevice::ReadOnly) ||
                   !sameTags(original.readAll(), QByteArray::fromStdString(*saved))) {
            ++failed;
            std::cout << "FAILED " << name << ": saved unchanged, its tags differ\n";
        }
        DrawingView view(session);
        view.resize(320, 240);
        view.show();
        (void)view.grab();
        view.showSpace(SpaceKind::Paper);
        (void)view.grab();
        std::cout << std::flush;
    }
    std::cout << files.size() << " drawings: " << opened << " opened, " << refused << " refused, " << failed
              << " failed\n";
    return failed == 0 && opened > 0 ? 0 : 1;
}
