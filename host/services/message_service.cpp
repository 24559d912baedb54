#include "host/services/message_service.h"

#include <ostream>

namespace sowfield::host {

namespace {

void show_info(const char *line1, const char *line2) {
    if (MessageService *service = MessageService::get()) service->show(Message::Kind::info, line1, line2);
}

void show_error(const char *line1, const char *line2) {
    if (MessageService *service = MessageService::get()) service->show(Message::Kind::error, line1, line2);
}

const sf_message_service kTable = {show_info, show_error};

}  // namespace

MessageService::MessageService(std::ostream &info_out, std::ostream &error_out)
    : info_out_(info_out), error_out_(error_out) {}

const sf_message_service *MessageService::table() { return &kTable; }

void MessageService::show(Message::Kind kind, const char *line1, const char *line2) {
    // Never throws into the plug-in: a message that cannot be kept is dropped.
    try {
        Message message{kind, line1 != nullptr ? line1 : "", {}};
        if (line2 != nullptr) message.line2 = line2;
        std::ostream &out = kind == Message::Kind::error ? error_out_ : info_out_;
        out << (kind == Message::Kind::error ? "Error: " : "") << message.line1 << '\n';
        if (message.line2) out << "  " << *message.line2 << '\n';
        out.flush();
        messages_.push_back(std::move(message));
    } catch (...) {
    }
}

}  // namespace sowfield::host
