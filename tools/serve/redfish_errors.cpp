// Redfish error answers (redfish_errors.hpp): exports kBaseRegistry, redfishError, errorBody
// and one builder per message of the Base registry the service sends.
#include "serve/redfish_errors.hpp"

#include <utility>

const char kBaseRegistry[] = "Base.1.22.1.";

namespace {

const char kFixValue[] =
    "Correct the value for the query parameter in the request and resubmit the request if the "
    "operation failed.";

// The message key of the registry with its text, resolution, severity and arguments.
RegistryMessage message(const char* key, std::string text, std::string resolution,
                        const char* severity, std::vector<std::string> args = {}) {
    return {kBaseRegistry + std::string(key), std::move(text), std::move(resolution), severity,
            std::move(args)};
}

// message as a Message object of an error's extended information.
Json::Value messageInfo(const RegistryMessage& message) {
    Json::Value info(Json::objectValue);
    info["@odata.type"] = "#Message.v1_1_1.Message";
    info["MessageId"] = message.id;
    info["Message"] = message.text;
    for (const std::string& arg : message.args)
        info["MessageArgs"].append(arg);
    info["Severity"] = message.severity;
    info["Resolution"] = message.resolution;
    return info;
}

} // namespace

RedfishError redfishError(int status, RegistryMessage message, std::string summary) {
    RedfishError error;
    error.status = status;
    error.messages.push_back(std::move(message));
    error.summary = std::move(summary);
    return error;
}

Json::Value errorBody(const RedfishError& error) {
    Json::Value body(Json::objectValue);
    Json::Value& inner = body["error"];
    inner["code"] = error.messages.front().id;
    inner["message"] = error.summary.empty() ? error.messages.front().text : error.summary;
    for (const RegistryMessage& each : error.messages)
        inner["@Message.ExtendedInfo"].append(messageInfo(each));
    return body;
}

RegistryMessage resourceMissingAtUri(const std::string& uri) {
    return message("ResourceMissingAtURI", "The resource at the URI '" + uri + "' was not found.",
                   "Place a valid resource at the URI or correct the URI and resubmit the "
                   "request.",
                   "Critical", {uri});
}

RegistryMessage generalError(const std::string& resolution) {
    return message("GeneralError",
                   "A general error has occurred.  See Resolution for information on how to "
                   "resolve the error, or @Message.ExtendedInfo if Resolution is not provided.",
                   resolution, "Critical");
}

RegistryMessage internalError() {
    return message("InternalError",
                   "The request failed due to an internal service error.  The service is still "
                   "operational.",
                   "Resubmit the request.  If the problem persists, consider resetting the "
                   "service.",
                   "Critical");
}

RegistryMessage queryParameterUnsupported(const std::string& name) {
    return message("QueryParameterUnsupported", "Query parameter '" + name + "' is not supported.",
                   "Correct or remove the query parameter and resubmit the request.", "Warning",
                   {name});
}

RegistryMessage queryParameterValueFormatError(const std::string& value, const std::string& name) {
    return message("QueryParameterValueFormatError",
                   "The value '" + value + "' for the parameter " + name +
                       " is not a format that the parameter can accept.",
                   kFixValue, "Warning", {value, name});
}

RegistryMessage queryParameterOutOfRange(const std::string& value, const std::string& name,
                                         const std::string& range) {
    return message(
        "QueryParameterOutOfRange",
        "The value '" + value + "' for the query parameter " + name + " is out of range " + range +
            ".",
        "Reduce the value for the query parameter to a value that is within range, "
        "such as a start or count value that is within bounds of the number of "
        "resources in a collection or a page number that is within the range of valid pages.",
        "Warning", {value, name, range});
}

RegistryMessage queryNotSupportedOnResource() {
    return message(
        "QueryNotSupportedOnResource", "Querying is not supported on the requested resource.",
        "Remove the query parameters and resubmit the request if the operation failed.", "Warning");
}

RegistryMessage headerInvalid(const std::string& header) {
    return message("HeaderInvalid", "Header '" + header + "' is invalid.",
                   "Resubmit the request with a valid request header.", "Critical", {header});
}

RegistryMessage payloadTooLarge() {
    return message("PayloadTooLarge",
                   "The supplied payload exceeds the maximum size supported by the service.",
                   "Check that the supplied payload is correct and supported by this service.",
                   "Critical");
}

RegistryMessage serviceTemporarilyUnavailable(const std::string& seconds) {
    return message("ServiceTemporarilyUnavailable",
                   "The service is temporarily unavailable.  Retry in " + seconds + " seconds.",
                   "Wait for the indicated retry duration and retry the operation.", "Critical",
                   {seconds});
}
