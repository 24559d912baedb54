// "Info Messages 2": info lines go to one stream, errors to another, and every
// message is recorded so a caller can inspect what the user was told.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "host/services/current.h"
#include "sowfield_host.h"

namespace sowfield::host {

struct Message {
    enum class Kind { info, error };
    Kind kind = Kind::info;
    std::string line1;
    std::optional<std::string> line2;  // absent when the plug-in passed null

    bool operator==(const Message &) const = default;
};

class MessageService : public Current<MessageService> {
public:
    MessageService(std::ostream &info_out, std::ostream &error_out);

    // The C record to hand out. Its functions act on the current instance
    // (see Scope) and do nothing outside one.
    static const sf_message_service *table();

    // Prints and records one message. Info: "line1" then "  line2"; error:
    // "Error: line1" then "  line2".
    void show(Message::Kind kind, const char *line1, const char *line2);

    const std::vector<Message> &messages() const { return messages_; }
    void clear() { messages_.clear(); }

private:
    std::ostream &info_out_;
    std::ostream &error_out_;
    std::vector<Message> messages_;
};

}  // namespace sowfield::host
