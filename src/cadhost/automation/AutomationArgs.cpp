#include "automation/AutomationArgs.h"

#include <cmath>

#include <QString>

namespace tessik::cadhost {

void AutomationArgs::add(const Node& node)
{
    plain_ = true;
    if (open_ == 0) ++top_;
    nodes_.append(node);
}

void AutomationArgs::addLiteral(bool isNull, bool value)
{
    add(Node{isNull ? Node::Null : value ? Node::True : Node::False, 1, 0, 0, 0});
}

void AutomationArgs::addString(QByteArrayView latin1)
{
    add(Node{Node::String, 1, std::int32_t(latin1.size()), qint64(text_.size()), 0});
    text_.append(latin1);
}

qsizetype AutomationArgs::openArray()
{
    add(Node{Node::Array, 1, 0, 0, 0});
    ++open_;
    return nodes_.size() - 1;
}

void AutomationArgs::closeArray(qsizetype at)
{
    --open_;
    Node& array = nodes_[at];
    array.span = std::int32_t(nodes_.size() - at);
    // Its elements are the nodes after it, each taking its own span.
    std::int32_t count = 0;
    for (qsizetype i = at + 1; i < nodes_.size(); i += nodes_[i].span) ++count;
    array.count = count;
}

const AutomationArgs::Node* AutomationArgs::argument(qsizetype i) const
{
    if (i < 0 || i >= top_) return nullptr;
    const Node* node = nodes_.constData();
    for (; i > 0; --i) node += node->span;
    return node;
}

QJsonValue AutomationArgs::valueAt(const Node* node) const
{
    switch (node->kind) {
    case Node::Integer: return QJsonValue(node->integer);
    case Node::Double: return QJsonValue(node->real);
    case Node::String:
        return QJsonValue(QString::fromLatin1(text_.constData() + node->integer, node->count));
    case Node::True: return QJsonValue(true);
    case Node::False: return QJsonValue(false);
    case Node::Null: return QJsonValue();
    case Node::Array: {
        QJsonArray array;
        const Node* element = node + 1;
        for (std::int32_t k = 0; k < node->count; ++k, element += element->span) array.append(valueAt(element));
        return array;
    }
    }
    return QJsonValue();
}

QJsonValue AutomationArgs::at(qsizetype i) const
{
    if (!plain_) return json_.at(i);
    const Node* node = argument(i);
    return node ? valueAt(node) : QJsonValue(QJsonValue::Undefined);
}

QJsonArray AutomationArgs::toArray() const
{
    if (!plain_) return json_;
    QJsonArray array;
    for (qsizetype i = 0; i < top_; ++i) array.append(at(i));
    return array;
}

bool AutomationArgs::finiteNumbers(qsizetype i, double* out, qsizetype count) const
{
    if (!plain_) {
        const QJsonValue v = json_.at(i);
        const QJsonArray a = v.toArray();
        if (!v.isArray() || a.size() != count) return false;
        for (qsizetype k = 0; k < count; ++k) {
            const QJsonValue c = a.at(k);
            if (!c.isDouble() || !std::isfinite(c.toDouble())) return false;
            out[k] = c.toDouble();
        }
        return true;
    }
    const Node* node = argument(i);
    if (!node || node->kind != Node::Array || node->count != count) return false;
    for (qsizetype k = 0; k < count; ++k) {
        const Node& c = node[k + 1];
        if (c.kind == Node::Integer)
            out[k] = double(c.integer);
        else if (c.kind == Node::Double && std::isfinite(c.real))
            out[k] = c.real;
        else
            return false;
    }
    return true;
}

std::optional<double> AutomationArgs::finiteNumber(qsizetype i) const
{
    if (!plain_) {
        const QJsonValue v = json_.at(i);
        if (!v.isDouble() || !std::isfinite(v.toDouble())) return std::nullopt;
        return v.toDouble();
    }
    const Node* node = argument(i);
    if (node && node->kind == Node::Integer) return double(node->integer);
    if (node && node->kind == Node::Double && std::isfinite(node->real)) return node->real;
    return std::nullopt;
}

}  // namespace tessik::cadhost
