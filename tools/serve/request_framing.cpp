// Request framing (request_framing.hpp): exports RequestFramer.
//
// The head ends at its first blank line; a request line ended by a bare LF is handed to httplib
// alone (it refuses it) and ends the connection. Field lines must be "name: value" with a token
// name, no whitespace before the colon. Transfer-Encoding with chunked last frames the body as
// chunks (their extensions and trailer lines are skipped); otherwise Content-Length (equal
// values if repeated) does; neither means no body. Both, any other coding or a malformed
// length or chunk is 400.
#include "serve/request_framing.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

const char kCrlf[] = "\r\n";
const char kBlankLine[] = "\r\n\r\n";
constexpr std::size_t kBlankLineSize = 4;
// Above every body the service accepts: a length counts as this once it is too long.
constexpr std::uint64_t kTooLong = kMaxBodyBytes + 1;
// The methods httplib parses; the request line of any other reaches it with this one instead.
const char* const kParsedMethods[] = {"GET",     "HEAD",  "POST",  "PUT", "DELETE",
                                      "CONNECT", "TRACE", "PATCH", "PRI", "OPTIONS"};
const char kStandInMethod[] = "GET";

// How a head frames its body, or why it cannot be read (fault 400 or 413).
struct BodyFraming {
    int fault = 0;
    bool chunked = false;
    std::uint64_t contentLength = 0;
    bool expectContinue = false;
};

// True for RFC 9110's token characters.
bool isTokenChar(char c) {
    static const char kSymbols[] = "!#$%&'*+-.^_`|~";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr(kSymbols, c) != nullptr);
}

bool isToken(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

std::string lowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// text without the spaces and tabs around it.
std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The request at the start of text as httplib is to parse it: a method it does not parse, when
// a token, replaced by kStandInMethod (the server puts the method back before answering). Sets
// method to the request line's method as sent, "" when the line has no space.
std::string forParser(const std::string& text, std::string& method) {
    const std::size_t space = text.find(' ');
    method = space < text.find_first_of(kCrlf) ? text.substr(0, space) : "";
    const bool parsed = std::any_of(std::begin(kParsedMethods), std::end(kParsedMethods),
                                    [&method](const char* each) { return method == each; });
    if (parsed || !isToken(method)) return text;
    return kStandInMethod + text.substr(space);
}

// Reads a decimal number into value, saturated at kTooLong. False unless text is digits only.
bool parseDecimal(const std::string& text, std::uint64_t& value) {
    if (text.empty()) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(c - '0'), kTooLong);
    }
    return true;
}

// Reads the Content-Length field values (joined by ','): each a number, all equal.
bool parseContentLength(const std::string& values, std::uint64_t& length) {
    std::size_t start = 0;
    for (bool first = true; start <= values.size(); first = false) {
        std::size_t comma = values.find(',', start);
        if (comma == std::string::npos) comma = values.size();
        std::uint64_t value = 0;
        if (!parseDecimal(trimmed(values.substr(start, comma - start)), value)) return false;
        if (!first && value != length) return false;
        length = value;
        start = comma + 1;
    }
    return true;
}

// True when the last coding of the Transfer-Encoding field values (joined by ',') is chunked.
bool endsChunked(const std::string& codings) {
    const std::size_t comma = codings.rfind(',');
    const std::string last = comma == std::string::npos ? codings : codings.substr(comma + 1);
    return lowerCase(trimmed(last)) == "chunked";
}

// The value of a hexadecimal digit, or -1.
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a chunk-size line (without its CRLF): hexadecimal digits, then nothing or an extension
// after optional whitespace. Sets size, saturated at kTooLong.
bool parseChunkSize(const std::string& line, std::uint64_t& size) {
    std::size_t digits = 0;
    size = 0;
    for (; digits < line.size() && hexValue(line[digits]) >= 0; ++digits) {
        const auto digit = static_cast<std::uint64_t>(hexValue(line[digits]));
        size = std::min<std::uint64_t>(size * 16 + digit, kTooLong);
    }
    if (digits == 0) return false;
    return digits == line.size() || line[digits] == ';' || line[digits] == ' ' ||
           line[digits] == '\t';
}

// The fields of a head that frame its body, their values joined by ','.
struct FramingFields {
    std::string lengths;
    std::string codings;
    bool hasLength = false;
    bool hasCodings = false;
    bool expectContinue = false;
};

// Adds one field line of a head to fields. False for a line that is no field line.
bool addFieldLine(const std::string& line, FramingFields& fields) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || !isToken(line.substr(0, colon)) ||
        line.find_first_of(kCrlf) != std::string::npos) {
        return false;
    }
    const std::string name = lowerCase(line.substr(0, colon));
    const std::string value = trimmed(line.substr(colon + 1));
    if (name == "content-length") {
        fields.lengths += (fields.hasLength ? "," : "") + value;
        fields.hasLength = true;
    } else if (name == "transfer-encoding") {
        fields.codings += (fields.hasCodings ? "," : "") + value;
        fields.hasCodings = true;
    } else if (name == "expect") {
        fields.expectContinue = lowerCase(value) == "100-continue";
    }
    return true;
}

// How head (request line, field lines, blank line) frames the body that follows it.
BodyFraming readBodyFraming(const std::string& head) {
    BodyFraming framing;
    FramingFields fields;
    bool wellFormed = true;
    std::size_t start = head.find(kCrlf) + 2;
    for (std::size_t end = head.find(kCrlf, start); end != std::string::npos && end > start;
         end = head.find(kCrlf, start)) {
        wellFormed = addFieldLine(head.substr(start, end - start), fields) && wellFormed;
        start = end + 2;
    }
    framing.chunked = fields.hasCodings;
    framing.expectContinue = fields.expectContinue;
    const bool framed =
        fields.hasCodings
            ? !fields.hasLength && endsChunked(fields.codings)
            : !fields.hasLength || parseContentLength(fields.lengths, framing.contentLength);
    if (!wellFormed || !framed)
        framing.fault = 400;
    else if (framing.contentLength > kMaxBodyBytes)
        framing.fault = 413;
    return framing;
}

} // namespace

const RequestFrame& RequestFramer::update(const std::string& input) {
    if (frame_.state == FrameState::Incomplete && headEnd_ == 0) findHead(input);
    if (frame_.state == FrameState::Incomplete && headEnd_ != 0) findBodyEnd(input);
    return frame_;
}

// Looks for the end of the request line, then for the blank line ending the head.
void RequestFramer::findHead(const std::string& input) {
    if (lineFrom_ != std::string::npos) {
        const std::size_t newline = input.find('\n', lineFrom_);
        lineFrom_ = newline == std::string::npos ? input.size() : std::string::npos;
        if (newline != std::string::npos && (newline == 0 || input[newline - 1] != '\r')) {
            refuse(0, forParser(input.substr(0, newline + 1), frame_.method));
            return;
        }
    }
    const std::size_t blank = input.find(kBlankLine, searchFrom_);
    if (blank != std::string::npos && blank + kBlankLineSize <= kMaxHeadBytes) {
        readHead(input, blank + kBlankLineSize);
    } else if (blank != std::string::npos || input.size() >= kMaxHeadBytes) {
        headTooLarge(input);
    } else {
        searchFrom_ = input.size() < kBlankLineSize ? 0 : input.size() - kBlankLineSize + 1;
    }
}

// Refuses a head that fills kMaxHeadBytes without a blank line: 431, or httplib's 414 when the
// request line alone is that long. httplib reads the request line alone, without fields.
void RequestFramer::headTooLarge(const std::string& input) {
    const std::size_t lineEnd = input.find(kCrlf);
    if (lineEnd == std::string::npos || lineEnd + 2 > kMaxHeadBytes) {
        refuse(0, forParser(input.substr(0, kMaxHeadBytes), frame_.method));
        return;
    }
    refuse(431, forParser(input.substr(0, lineEnd + 2), frame_.method) + kCrlf);
}

// Takes the head, the first headEnd bytes of input, and how it frames the body.
void RequestFramer::readHead(const std::string& input, std::size_t headEnd) {
    headEnd_ = headEnd;
    nextChunk_ = headEnd;
    parsedHead_ = forParser(input.substr(0, headEnd), frame_.method);
    const BodyFraming framing = readBodyFraming(input.substr(0, headEnd));
    chunked_ = framing.chunked;
    contentLength_ = framing.contentLength;
    expectContinue_ = framing.expectContinue;
    if (framing.fault != 0) refuse(framing.fault, parsedHead_);
}

// Completes the request when its body has arrived; otherwise notes that it is awaited.
void RequestFramer::findBodyEnd(const std::string& input) {
    if (chunked_) {
        findLastChunk(input);
        return;
    }
    const std::size_t end = headEnd_ + static_cast<std::size_t>(contentLength_);
    if (input.size() >= end)
        complete(input, end);
    else
        frame_.expectsContinue = expectContinue_;
}

// Reads chunk after chunk from nextChunk_ until the trailer's blank line, a malformed or too
// long body, or the end of what has arrived.
void RequestFramer::findLastChunk(const std::string& input) {
    while (frame_.state == FrameState::Incomplete) {
        const std::size_t lineEnd = input.find(kCrlf, nextChunk_);
        if (nextChunk_ - headEnd_ > kMaxBodyBytes ||
            (lineEnd == std::string::npos && input.size() - headEnd_ > kMaxBodyBytes)) {
            refuse(413, parsedHead_);
        } else if (lineEnd == std::string::npos) {
            frame_.expectsContinue = expectContinue_;
            return;
        } else if (!readChunkLine(input, lineEnd)) {
            return;
        }
    }
}

// Reads the chunk-size or trailer line at nextChunk_, ending at lineEnd, and moves past it and
// its chunk's data. Returns whether the next line can be read now; false when the request is
// complete or refused, or the chunk's data has not all arrived.
bool RequestFramer::readChunkLine(const std::string& input, std::size_t lineEnd) {
    if (inTrailer_) {
        if (lineEnd == nextChunk_) complete(input, lineEnd + 2);
        nextChunk_ = lineEnd + 2;
        return frame_.state == FrameState::Incomplete;
    }
    std::uint64_t size = 0;
    if (!parseChunkSize(input.substr(nextChunk_, lineEnd - nextChunk_), size)) {
        refuse(400, parsedHead_);
        return false;
    }
    const std::uint64_t next = lineEnd + 2 + (size == 0 ? 0 : size + 2);
    if (next - headEnd_ > kMaxBodyBytes) {
        refuse(413, parsedHead_);
        return false;
    }
    inTrailer_ = size == 0;
    if (input.size() < next) {
        frame_.expectsContinue = expectContinue_;
        return false;
    }
    if (size != 0 && input.compare(static_cast<std::size_t>(next) - 2, 2, kCrlf) != 0) {
        refuse(400, parsedHead_);
        return false;
    }
    nextChunk_ = static_cast<std::size_t>(next);
    return true;
}

void RequestFramer::complete(const std::string& input, std::size_t end) {
    frame_.state = FrameState::Complete;
    frame_.end = end;
    frame_.forParser = parsedHead_ + input.substr(headEnd_, end - headEnd_);
    frame_.expectsContinue = false;
}

void RequestFramer::refuse(int status, std::string forParser) {
    frame_.state = FrameState::Refused;
    frame_.refusal = status;
    frame_.forParser = std::move(forParser);
    frame_.expectsContinue = false;
}
