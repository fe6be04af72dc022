#pragma once

#include <QEvent>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "probe/IpAddress.h"
#include "probe/NameService.h"
#include "trace/AddressChoice.h"

namespace hoplark {

// What the lookups of a trace start found.
struct TargetResolution {
    // The typed text read as an address; nothing when it is a name.
    std::optional<IpAddress> typedAddress;
    // The address to probe; nothing when the name could not be found.
    std::optional<IpAddress> address;
    // The target's official name when a name was typed; empty for a typed address, whose
    // reverse name is looked up beside the trace (lookUpName), never before its first round.
    QString hostName;
    // When nothing was found: one sentence on why, where there is more to say than that the
    // name is unknown (a malformed IPv6 address, a family the user ruled out).
    QString whyNotFound;
    // Found, but this machine has no route to an address of that family: probing it would
    // only lose every hop.
    bool noRoute = false;

    bool found() const { return address.has_value() && !noRoute; }
};

// The answer to one resolve() request, posted to its receiver.
class TargetResolvedEvent : public QEvent {
public:
    static constexpr QEvent::Type Type = static_cast<QEvent::Type>(1032);

    TargetResolvedEvent(quint64 request, TargetResolution resolution)
        : QEvent(Type), request_(request), resolution_(std::move(resolution)) {}

    quint64 request() const { return request_; }
    const TargetResolution& resolution() const { return resolution_; }

private:
    quint64 request_;
    TargetResolution resolution_;
};

// The reverse name of a traced address, posted when it arrives; empty when there is none.
class TargetNamedEvent : public QEvent {
public:
    static constexpr QEvent::Type Type = static_cast<QEvent::Type>(1033);

    TargetNamedEvent(quint64 request, QString name)
        : QEvent(Type), request_(request), name_(std::move(name)) {}

    quint64 request() const { return request_; }
    const QString& name() const { return name_; }

private:
    quint64 request_;
    QString name_;
};

// Runs the forward and reverse lookups of a trace start on a thread of their own, so that a
// resolver that does not answer never holds up the thread that asked, and posts the outcome
// back as a TargetResolvedEvent. A lookup cannot be interrupted: one whose receiver has gone
// (or that was superseded) ends on its own and posts nothing.
class TargetResolver {
public:
    // The resolver shares ownership of `names`, so a lookup that outlives it is safe.
    explicit TargetResolver(std::shared_ptr<NameService> names);
    // Borrows `names`: the destructor then waits for lookups under way, which must therefore
    // end (test name services answer at once).
    explicit TargetResolver(NameService& names);
    ~TargetResolver();
    TargetResolver(const TargetResolver&) = delete;
    TargetResolver& operator=(const TargetResolver&) = delete;

    // Starts looking `text` up; the answer goes to `receiver` (on the receiver's thread).
    void resolve(QObject* receiver, quint64 request, const std::string& text,
                 AddressChoice choice = AddressChoice::ResolverOrder);

    // Starts looking up the reverse name of `address`; the answer goes to `receiver` as a
    // TargetNamedEvent.
    void lookUpName(QObject* receiver, quint64 request, const IpAddress& address);

    // The lookups themselves, on the calling thread.
    static TargetResolution resolveNow(NameService& names, const std::string& text,
                                       AddressChoice choice = AddressChoice::ResolverOrder);

private:
    struct Shared;
    // Runs `lookup` on a thread of its own and posts the event it makes to `receiver`.
    void run(QObject* receiver, std::function<QEvent*(NameService&)> lookup);

    std::shared_ptr<NameService> names_;
    bool borrowed_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace hoplark
