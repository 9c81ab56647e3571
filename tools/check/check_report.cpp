// check's problems (check_report.hpp): exports ProblemList, problemLine, problemJson and
// countText.
#include "check/check_report.hpp"

namespace {

constexpr std::size_t kShownPlaces = 3; // places named in a line, the first included

std::string placeText(const Place& place) { return place.uri + "#" + place.pointer; }

// " (COUNT UNITs; also ...)" for a problem of several places, else "".
std::string placesSuffix(const Problem& problem) {
    const std::size_t count = problem.places.size();
    if (count < 2) return "";
    std::vector<std::string> others;
    for (std::size_t i = 1; i < count && i < kShownPlaces; ++i)
        others.push_back(placeText(problem.places[i]));
    if (count > kShownPlaces) {
        const std::size_t rest = count - kShownPlaces;
        others.push_back(countText(rest) + " more " + problem.unit + (rest == 1 ? "" : "s"));
    }
    std::string text = " (" + countText(count) + " " + problem.unit + "s; also ";
    for (std::size_t i = 0; i < others.size(); ++i) {
        if (i > 0) text += i + 1 == others.size() ? " and " : ", ";
        text += others[i];
    }
    return text + ")";
}

} // namespace

void ProblemList::add(const Place& place, const std::string& keyword, const std::string& message,
                      const std::string& fault, const char* unit) {
    if (!fault.empty()) {
        const auto found = byFault_.find(keyword + "\n" + fault);
        if (found != byFault_.end()) {
            problems_[found->second].places.push_back(place);
            return;
        }
        byFault_.emplace(keyword + "\n" + fault, problems_.size());
    }
    problems_.push_back({keyword, message, unit, {place}});
}

std::string problemLine(const Problem& problem) {
    const Place& first = problem.places.front();
    return placeText(first) + ": " + problem.keyword + ": " + problem.message +
           placesSuffix(problem);
}

Json::Value problemJson(const Problem& problem) {
    Json::Value item(Json::objectValue);
    item["uri"] = problem.places.front().uri;
    item["pointer"] = problem.places.front().pointer;
    item["keyword"] = problem.keyword;
    item["message"] = problem.message;
    item["count"] = static_cast<Json::UInt64>(problem.places.size());
    Json::Value& places = item["places"] = Json::Value(Json::arrayValue);
    for (const Place& place : problem.places) {
        Json::Value& entry = places.append(Json::Value(Json::objectValue));
        entry["uri"] = place.uri;
        entry["pointer"] = place.pointer;
    }
    return item;
}

std::string countText(std::size_t n) {
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return digits;
}
