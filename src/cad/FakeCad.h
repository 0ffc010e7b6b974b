#pragma once
// A recording CAD application for tests: every call lands in `calls` (one line
// each, in order), every entity created lands in `entities`, and a test
// scripts what exists (a running instance, an open drawing), the pick's answer
// and which calls fail. With deferErrors a failure of an unread call shows up
// only at settle(), as it does when calls are pipelined.

#include <QMap>
#include <QStringList>
#include <memory>
#include <vector>

#include "CadObjects.h"

namespace tessik {

// One entity as the drawing received it: "line" start end; "arc" centre
// radius start end; "ellipse" centre axis ratio, then start and end once cut.
// "lwpolyline" the flat vertex array, then 1 once closed; "text" insertion
// point and height (its string in FakeCad::texts).
struct FakeCadEntity {
    QString kind;
    std::vector<double> values;
    friend bool operator==(const FakeCadEntity&, const FakeCadEntity&) = default;
};

class FakeCad : public CadAutomation, public std::enable_shared_from_this<FakeCad> {
public:
    static std::shared_ptr<FakeCad> create() { return std::shared_ptr<FakeCad>(new FakeCad); }

    Result<std::shared_ptr<CadApplication>> getRunningInstance(const QString& programId) override;
    Result<std::shared_ptr<CadApplication>> createInstance(const QString& programId) override;

    // Script
    bool running = true;          // an instance answers getRunningInstance
    bool launchWorks = true;      // createInstance succeeds (and the instance then runs)
    bool documentOpen = true;     // activedocument answers
    bool alive = true;            // false: the application went away; every call fails
    bool deferErrors = false;     // unread calls report their failure at settle()
    Result<CadPoint> pick = CadPoint{0, 0, 0};
    QString caption = QStringLiteral("Drawing1.dwg - Tessik CAD");
    // Fails the n-th call (1-based) of a member, counted over the whole run.
    void failCall(const QString& member, int nth) { failing_[member].append(nth); }

    // Record
    QStringList calls;
    std::vector<FakeCadEntity> entities;  // what the drawing received, in order
    QStringList texts;                    // the strings of the texts, in order
    int applicationsHandedOut = 0;

    // Used by the fake's objects.
    Status enter(const QString& line, const QString& member);
    static QString text(const CadPoint& p);
    static QString text(double v);

private:
    FakeCad() = default;
    QMap<QString, QList<int>> failing_;
    QMap<QString, int> counts_;
};

}  // namespace tessik
