// Redfish error answers: an HTTP status and messages of DMTF's Base message registry, one
// version of it (kBaseRegistry) for every message the service sends, one builder per message.
//
//   RegistryMessage, RedfishError, errorBody
//   resourceMissingAtUri ... serviceTemporarilyUnavailable   the messages
#ifndef SQL2JSON_TOOLS_SERVE_REDFISH_ERRORS_HPP
#define SQL2JSON_TOOLS_SERVE_REDFISH_ERRORS_HPP

#include <string>
#include <vector>

#include <json/value.h>

// The registry every message's id names: "Base.1.22.1.", then the message key.
extern const char kBaseRegistry[];

// One message of the registry, its arguments filled in.
struct RegistryMessage {
    std::string id;
    std::string text;
    std::string resolution;
    std::string severity;
    std::vector<std::string> args;
};

// Why a request is refused: an HTTP status and the messages saying why.
struct RedfishError {
    int status = 0; // 0: no error
    std::vector<RegistryMessage> messages;
    std::string summary; // the error's own message when set, else the first message's text
};

// The error of status with one message and, when not empty, summary as the error's message.
RedfishError redfishError(int status, RegistryMessage message, std::string summary = "");

// The error's body: {"error": {"code", "message", "@Message.ExtendedInfo": [...]}}, its code
// the first message's id. error has at least one message.
Json::Value errorBody(const RedfishError& error);

// The messages. Each takes the arguments the registry gives it, in its order.
RegistryMessage resourceMissingAtUri(const std::string& uri);
RegistryMessage generalError(const std::string& resolution); // resolution: the service's own
RegistryMessage internalError();
RegistryMessage queryParameterUnsupported(const std::string& name);
RegistryMessage queryParameterValueFormatError(const std::string& value, const std::string& name);
RegistryMessage queryParameterOutOfRange(const std::string& value, const std::string& name,
                                         const std::string& range);
RegistryMessage queryNotSupportedOnResource();
RegistryMessage headerInvalid(const std::string& header); // header: "Name: value"
RegistryMessage payloadTooLarge();
RegistryMessage serviceTemporarilyUnavailable(const std::string& seconds);

#endif
