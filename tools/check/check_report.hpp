// check's problems: one per fault, however many rows, links or resources it shows in.
//
//   ProblemList    the problems in the order found, each fault's places gathered in it
//   problemLine    a problem as one line of text
//   problemJson    a problem as one member of --json's "problems"
//   countText      a count as the report writes it ("4,997")
#ifndef SQL2JSON_TOOLS_CHECK_CHECK_REPORT_HPP
#define SQL2JSON_TOOLS_CHECK_CHECK_REPORT_HPP

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include <json/value.h>

// Where a problem shows: a URI (or a route's pattern) and a JSON pointer into the resource.
struct Place {
    std::string uri;
    std::string pointer;
};

struct Problem {
    std::string keyword;
    std::string message;       // as its first place gave it
    std::string unit;          // what its places are, singular: "row", "link", "resource"
    std::vector<Place> places; // every place, in the order found; the first is where it is
};

class ProblemList {
  public:
    // Adds a problem at place; when fault is not empty and a problem of that fault was added
    // before, adds place to that one instead. unit names what the places of the fault are.
    void add(const Place& place, const std::string& keyword, const std::string& message,
             const std::string& fault = std::string(), const char* unit = "place");

    const std::vector<Problem>& problems() const { return problems_; }

  private:
    std::vector<Problem> problems_;
    std::map<std::string, std::size_t> byFault_; // fault -> its index in problems_
};

// "URI#POINTER: keyword: message" of the first place; a problem of several places ends with
// " (COUNT UNITs; also PLACE, PLACE and N more UNITs)".
std::string problemLine(const Problem& problem);

// {"uri", "pointer" (of the first place), "keyword", "message", "count", "places": [{"uri",
// "pointer"}, ...]}, every place kept.
Json::Value problemJson(const Problem& problem);

// n in decimal, with a ',' between groups of three digits.
std::string countText(std::size_t n);

#endif
