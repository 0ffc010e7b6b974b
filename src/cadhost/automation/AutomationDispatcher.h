#pragma once
// The automation object model over a CadSession: the application (target 0),
// its Documents collection, its drawing, the drawing's model and paper space, its layouts and their
// blocks, its utility object and
// the entities, reached through numbered handles. Members are looked up by
// name without regard to case, as a late-bound automation interface does.
//
// A handle names an object by what it is (kind, drawing serial, space,
// entity index), never by a pointer: a handle to a closed drawing answers
// "disconnected" instead of reaching freed memory, and asking for the same
// object twice gives the same handle. An erased entity keeps its index, so
// its handle answers "erased" until an undo brings it back.
//
// Every invocation answers exactly once through its Reply: at once, or - for
// GetPoint - when the user picks or cancels, or - for a SendCommand text too
// long to type at once - when its last character is typed (CommandTypist).

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include "automation/AutomationArgs.h"
#include "automation/AutomationRequest.h"
#include "model/CadSession.h"
#include "automation/CommandTypist.h"
#include "Error.h"

namespace tessik::cadhost {

class AutomationDispatcher {
public:
    using Verb = AutomationVerb;
    enum class Kind {
        Application, Document, ModelSpace, PaperSpace, Utility, Entity, Documents, Layers, Layer, Layouts, Layout, Block
    };

    struct ObjectRef {
        Kind kind = Kind::Application;
        std::uint64_t document = 0;
        int space = 0;
        int index = 0;
        friend bool operator==(const ObjectRef&, const ObjectRef&) = default;
    };

    struct Invocation {
        Verb verb = Verb::Get;
        std::int64_t target = 0;
        std::string member;  // UTF-8
        QJsonValue value;  // Set
        AutomationArgs args;  // Call
    };

    using Reply = std::function<void(const Result<QJsonValue>&)>;

    // An object's handle and type name, the answer of the calls that add an
    // entity, for a caller that writes it without a JSON object.
    struct HandleAnswer {
        std::int64_t handle = -1;  // -1: not answered this way
        std::string_view type;
    };

    // What an invocation left to answer later: nothing (it has answered), a
    // point request (id as for CadSession::withdrawPoint) or a SendCommand
    // text being typed (id from CommandTypist::type).
    struct Pending {
        enum class Kind { None, Pick, Typing };
        Kind kind = Kind::None;
        std::uint64_t id = 0;
    };

    explicit AutomationDispatcher(CadSession& session);

    // Answers through reply, now or later (see Pending). Given handle, a
    // call that adds an entity answers there instead of through reply.
    Pending invoke(const Invocation& invocation, const Reply& reply, HandleAnswer* handle = nullptr);

    CadSession& session() { return session_; }
    CommandTypist& typist() { return typist_; }

    // Who sends the invocations that follow (a connection's id), and that a
    // sender is gone: the undo marks it left open are closed.
    void setCaller(std::uintptr_t caller) { caller_ = caller; }
    void callerGone(std::uintptr_t caller);
    // StartUndoMark and EndUndoMark of the current caller; an EndUndoMark
    // without its start is ignored, as CAD programs ignore it.
    void startUndoMark();
    void endUndoMark();

    // The handle of an object, issued on first use.
    std::int64_t handleFor(const ObjectRef& ref);

    struct Context;
    struct Member {
        std::function<Result<QJsonValue>(Context&)> get;
        std::function<Status(Context&, const QJsonValue&)> set;
        std::function<Result<QJsonValue>(Context&, const AutomationArgs&)> call;
        // A call that answers with the handle of the object it makes.
        std::function<Result<ObjectRef>(Context&, const AutomationArgs&)> add;
        // GetPoint and SendCommand: may answer later through the reply.
        std::function<Pending(Context&, const AutomationArgs&, const Reply&)> deferredCall;
    };

private:
    Result<ObjectRef> resolve(std::int64_t target) const;
    // The member of that kind of object by name, whatever its case.
    const Member* findMember(Kind kind, std::string_view name) const;
    Result<DrawingDocument*> documentOf(const ObjectRef& ref) const;
    QJsonValue handleValue(const ObjectRef& ref);
    std::string_view typeName(const ObjectRef& ref) const;

    struct RefHash {
        std::size_t operator()(const ObjectRef& r) const noexcept;
    };

    CadSession& session_;
    CommandTypist typist_;
    std::vector<ObjectRef> handles_;  // handle n is handles_[n - 1]
    std::unordered_map<ObjectRef, std::int64_t, RefHash> handleOf_;  // but entities'
    // Entities are many and their indices dense: their handles by document
    // and space, then by index (0: none issued yet). The space last used is
    // kept at hand.
    using SpaceKey = std::pair<std::uint64_t, int>;
    std::map<SpaceKey, std::vector<std::int64_t>> entityHandles_;
    SpaceKey lastSpace_{};
    std::vector<std::int64_t>* lastSpaceHandles_ = nullptr;
    // The member last found, by kind and name as sent: a client that makes
    // one call again and again finds it without lowering and hashing.
    mutable Kind lastKind_ = Kind::Application;
    mutable std::string lastName_;
    mutable const Member* lastMember_ = nullptr;
    QHash<QString, Member> members_[12];  // by Kind, keys lower-case
    std::unordered_map<std::string_view, QJsonObject> handleObjects_;  // by type name
    std::uintptr_t caller_ = 0;
    std::unordered_map<std::uintptr_t, int> openMarks_;  // by caller

    friend struct Context;
};

// What a member works on: the object the handle names and, but for the
// application and its Documents, the drawing it belongs to.
struct AutomationDispatcher::Context {
    AutomationDispatcher& dispatcher;
    CadSession& session;
    ObjectRef ref;
    DrawingDocument* document;

    QJsonValue handle(const ObjectRef& r) { return dispatcher.handleValue(r); }
    ObjectRef child(Kind kind, int space = 0, int index = 0) const
    {
        return ObjectRef{kind, ref.document, space, index};
    }
    SpaceKind space() const { return static_cast<SpaceKind>(ref.space); }
    const ModelEntity& entity() const { return document->space(space()).at(ref.index); }
};

}  // namespace tessik::cadhost
