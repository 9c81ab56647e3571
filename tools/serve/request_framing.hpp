// Where a request ends in a connection's input (RFC 9112): its head up to the blank line, then
// the body its Content-Length or chunked framing gives, without reading what either means.
//
//   kMaxHeadBytes, kMaxBodyBytes   what one request may take
//   RequestFrame                   what the framer found: whether the request is whole, refused
//   RequestFramer                  reads the request at the start of a growing input
#ifndef SQL2JSON_TOOLS_SERVE_REQUEST_FRAMING_HPP
#define SQL2JSON_TOOLS_SERVE_REQUEST_FRAMING_HPP

#include <cstddef>
#include <cstdint>
#include <string>

// A head longer than this is refused (431), or left to httplib's 414 when its request line
// alone fills it: twice httplib's own limit of 8 KiB for a request line.
constexpr std::size_t kMaxHeadBytes = std::size_t{16} * 1024;
// A body longer than this is refused (413): far above any body a Redfish client sends to a
// resource, and what a connection buffers at most.
constexpr std::size_t kMaxBodyBytes = std::size_t{64} * 1024;

enum class FrameState {
    Incomplete, // more input is needed
    Complete,   // the whole request is in the input: its first `end` bytes
    Refused,    // it cannot be read whole: answer it from its head, then close the connection
};

struct RequestFrame {
    FrameState state = FrameState::Incomplete;
    std::size_t end = 0;   // Complete: the bytes of input the request takes
    int refusal = 0;       // Refused: 400, 413 or 431; 0 when httplib's own answer stands
    std::string method;    // the request line's method as sent, "" while unknown
    std::string forParser; // what httplib is to parse: the request, its method made one it knows
    bool expectsContinue = false; // the head asks for 100 (Continue) and its body is awaited
};

// Reads one request at the start of a connection's input, as the input grows: one framer per
// request, called after each arrival. Each search resumes where the last one stopped.
class RequestFramer {
  public:
    // Takes what input (the same request's bytes, grown since the last call) now holds.
    const RequestFrame& update(const std::string& input);
    const RequestFrame& frame() const { return frame_; }

  private:
    void findHead(const std::string& input);
    void headTooLarge(const std::string& input);
    void readHead(const std::string& input, std::size_t headEnd);
    void findBodyEnd(const std::string& input);
    void findLastChunk(const std::string& input);
    bool readChunkLine(const std::string& input, std::size_t lineEnd);
    void complete(const std::string& input, std::size_t end);
    void refuse(int status, std::string forParser);

    RequestFrame frame_;
    std::string parsedHead_;      // the head as httplib is to parse it
    std::size_t headEnd_ = 0;     // 0 until the head's blank line has arrived
    std::size_t searchFrom_ = 0;  // where the search for the blank line resumes
    std::size_t lineFrom_ = 0;    // where the search for the request line's end resumes
    std::size_t nextChunk_ = 0;   // where the next chunk-size or trailer line begins
    bool inTrailer_ = false;      // the last chunk has been read: trailer lines follow
    bool chunked_ = false;        // the body is chunked, else contentLength_ bytes
    bool expectContinue_ = false; // the head has "Expect: 100-continue"
    std::uint64_t contentLength_ = 0;
};

#endif
