#pragma once
// The arguments of an automation call: a JSON array, held either as Qt's
// QJsonArray (a line read by Qt's parser, or arguments built in code) or as
// the flat list of plain values the request reader read (numbers, literals,
// strings of printable ASCII and arrays of them), which members read without
// building JSON containers. Either way at() answers the same QJsonValue.

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonArray>
#include <QJsonValue>
#include <QVarLengthArray>

namespace tessik::cadhost {

class AutomationArgs {
public:
    AutomationArgs() = default;
    AutomationArgs(QJsonArray array) : json_(std::move(array)) {}  // NOLINT: implicit, as a QJsonArray is one

    qsizetype size() const { return plain_ ? top_ : json_.size(); }
    bool isEmpty() const { return size() == 0; }
    // Undefined past the end, as QJsonArray::at.
    QJsonValue at(qsizetype i) const;
    QJsonValue operator[](qsizetype i) const { return at(i); }
    QJsonArray toArray() const;

    // Argument i when it is an array of exactly count finite numbers, written
    // to out; false otherwise (out then holds nothing of use).
    bool finiteNumbers(qsizetype i, double* out, qsizetype count) const;
    // Argument i when it is a finite number.
    std::optional<double> finiteNumber(qsizetype i) const;

    friend bool operator==(const AutomationArgs& a, const AutomationArgs& b) { return a.toArray() == b.toArray(); }

    // Building plain arguments, values in the order they are written: an
    // array is opened, its elements added, then closed with the index
    // openArray gave. Calls outside an open array add arguments.
    void addInteger(qint64 value) { add(Node{Node::Integer, 1, 0, value, 0}); }
    void addDouble(double value) { add(Node{Node::Double, 1, 0, 0, value}); }
    void addLiteral(bool isNull, bool value);
    void addString(QByteArrayView latin1);
    qsizetype openArray();
    void closeArray(qsizetype at);

private:
    struct Node {
        enum Kind : std::uint8_t { Integer, Double, String, True, False, Null, Array };
        Kind kind;
        std::int32_t span;   // nodes from this one to the end of what it holds
        std::int32_t count;  // Array: its elements; String: its length
        qint64 integer;      // Integer; String: where its text starts in text_
        double real;         // Double
    };

    void add(const Node& node);
    // The node of argument i (nullptr past the end), and of an array's
    // element from the node after the array's.
    const Node* argument(qsizetype i) const;
    QJsonValue valueAt(const Node* node) const;

    QJsonArray json_;
    bool plain_ = false;
    qsizetype top_ = 0;
    qsizetype open_ = 0;  // arrays opened and not yet closed
    QVarLengthArray<Node, 12> nodes_;
    QByteArray text_;
};

}  // namespace tessik::cadhost
