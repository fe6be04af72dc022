#pragma once

#include <QString>
#include <optional>

namespace hoplark {

// Which of a name's addresses a trace takes.
enum class AddressChoice {
    // The first the resolver gives: the system's own order (RFC 6724, tuned in /etc/gai.conf),
    // which already puts a family the machine cannot reach last.
    ResolverOrder,
    V4Only,
    V6Only,
};

// The settings file's words for each choice: "auto", "ipv4", "ipv6".
QString AddressChoiceKey(AddressChoice choice);
// Nothing for a word it does not know.
std::optional<AddressChoice> AddressChoiceFromKey(const QString& key);

}  // namespace hoplark
