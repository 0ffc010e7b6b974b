#pragma once
// A recording CAD application for tests: every call lands in `calls` (one line
// each, in order), every entity created lands in `entities`, and a test
// scripts what exists (a running instance, an open drawing), the pick's answer
// and which calls fail. With deferErrors a failure of an unread call shows up
// only at settle(), as it does when calls are pipelined.
//
// closeDrawing() closes the active drawing and opens another: the document
// taken before, and everything taken from it, then answer that the object's
// drawing is closed, as the CAD application does.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CadObjects.h"

namespace tessik {

// One entity as the drawing received it: "line" start end; "arc" centre
// radius start end; "ellipse" centre axis ratio, then start and end once cut.
// "lwpolyline" the flat vertex array, then 1 once closed; "text" insertion
// point and height (its string in FakeCad::texts).
struct FakeCadEntity {
    std::string kind;
    std::vector<double> values;
    friend bool operator==(const FakeCadEntity&, const FakeCadEntity&) = default;
};

class FakeCad : public CadAutomation, public std::enable_shared_from_this<FakeCad> {
public:
    static std::shared_ptr<FakeCad> create() { return std::shared_ptr<FakeCad>(new FakeCad); }

    Result<std::shared_ptr<CadApplication>> getRunningInstance(const std::string& programId) override;
    Result<std::shared_ptr<CadApplication>> createInstance(const std::string& programId) override;

    // Script
    bool running = true;          // an instance answers getRunningInstance
    bool launchWorks = true;      // createInstance succeeds (and the instance then runs)
    bool documentOpen = true;     // activedocument answers
    bool alive = true;            // false: the application went away; every call fails
    bool deferErrors = false;     // unread calls report their failure at settle()
    bool undoMarks = true;        // false: StartUndoMark and EndUndoMark are unknown members
    Result<CadPoint> pick = CadPoint{0, 0, 0};
    std::string caption = "Drawing1.dwg - Tessik CAD";
    // Fails the n-th call (1-based) of a member, counted over the whole run.
    void failCall(const std::string& member, int nth) { failing_[member].push_back(nth); }
    // The user closes the active drawing and opens another.
    void closeDrawing() { ++drawing; }

    // Record
    std::vector<std::string> calls;
    std::vector<FakeCadEntity> entities;  // what the drawing received, in order
    std::vector<std::string> texts;       // the strings of the texts, in order
    int applicationsHandedOut = 0;
    bool called(const std::string& line) const;

    // Used by the fake's objects. `of` is the drawing the object belongs to
    // (0: none, the application).
    int drawing = 1;
    Status enter(const std::string& line, const std::string& member, int of = 0);
    static std::string text(const CadPoint& p);
    static std::string text(double v);

private:
    FakeCad() = default;
    std::map<std::string, std::vector<int>> failing_;
    std::map<std::string, int> counts_;
};

}  // namespace tessik
