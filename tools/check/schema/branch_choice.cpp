// Reading valijson's errors back into faults (branch_choice.hpp): exports faultsOf.
#include "check/schema/branch_choice.hpp"

#include <algorithm>
#include <map>
#include <utility>

#include "check/schema/keyword_checks.hpp"
#include "check/schema/schema_text.hpp"
#include "common/json_pointer.hpp"

namespace schema {
namespace {

using Branches = std::vector<std::pair<std::string, Faults>>; // what each branch is, faults

// The count of values in value: 1 for a scalar or an empty container.
std::size_t valueCount(const Json::Value& value) {
    std::size_t count = 0;
    for (const Json::Value& child : value)
        count += valueCount(child);
    return std::max<std::size_t>(count, 1);
}

// How much of resource faults leave unexplained: 1 per pointer with a fault that is no
// summary, or for a property that the schema does not define, the count of values in it (so
// that an older version lacking a property is not taken for the closest).
std::size_t misfit(const Faults& faults, const Json::Value& resource) {
    std::map<std::string, std::size_t> weights;
    for (const Fault& fault : faults) {
        const Json::Value* value = findByPointer(resource, fault.pointer);
        const bool undefined = fault.keyword == "additionalProperties" && value != nullptr;
        if (!fault.keyword.empty())
            weights[fault.pointer] =
                std::max(weights[fault.pointer], undefined ? valueCount(*value) : 1);
    }
    std::size_t total = 0;
    for (const auto& entry : weights)
        total += entry.second;
    return total;
}

// The branch of a failed anyOf at pointer in resource to report (nullptr when there is none):
// the branch of the value's own "@odata.type", else the one of least misfit, the later (a
// newer version) on a tie; the bare-link branch and, for a value that is not null, the null
// branch only when there is no other. validate.py picks alike, by count of errors.
const Faults* closestBranch(const Branches& branches, const std::string& pointer,
                            const Json::Value& resource) {
    const Json::Value* instance = findByPointer(resource, pointer);
    const Json::Value* type = instance != nullptr ? member(*instance, "@odata.type") : nullptr;
    std::string ownFile, definition;
    if (type == nullptr || !type->isString() ||
        !splitOdataType(type->asString(), ownFile, definition))
        ownFile.clear();
    const Faults* best = nullptr;
    std::pair<bool, std::size_t> bestRank; // trivial, misfit: the lower the better
    for (const auto& [tag, faults] : branches) {
        if (!ownFile.empty() && tag == ownFile) return &faults;
        const bool isNull = instance != nullptr && instance->isNull();
        const bool trivial = tag == "link" || (tag == "null" && !isNull);
        const std::pair<bool, std::size_t> rank(trivial, misfit(faults, resource));
        if (best == nullptr || rank <= bestRank) {
            best = &faults;
            bestRank = rank;
        }
    }
    return best;
}

void readGroup(const Faults& errors, std::size_t& pos, const std::string& pointer,
               const Json::Value& resource, Faults& out);

// Adds to out the faults of errors[pos...] up to the end mark of the branch they are in: true
// with what the branch is (tag) and whether it is its anyOf's last, or false at the end of
// errors. An anyOf inside adds the faults of its closest branch.
bool readBranch(const Faults& errors, std::size_t& pos, const Json::Value& resource, Faults& out,
                std::string& tag, bool& last) {
    while (pos < errors.size()) {
        const Fault& error = errors[pos++];
        if (error.keyword != kBranchKey) {
            out.push_back(error);
        } else if (error.detail == kBeginTag) {
            readGroup(errors, pos, error.pointer, resource, out);
        } else {
            last = startsWith(error.detail, kLastTag);
            tag = error.detail.substr(last ? sizeof kLastTag - 1 : sizeof kEndTag - 1);
            return true;
        }
    }
    return false;
}

// Reads the branches of the anyOf at pointer whose begin mark was just read, up to its last
// branch and the summaries valijson adds after it, and adds to out the faults of its closest
// branch (one "anyOf" fault when that has none).
void readGroup(const Faults& errors, std::size_t& pos, const std::string& pointer,
               const Json::Value& resource, Faults& out) {
    Branches branches;
    std::string tag;
    Faults faults;
    bool last = false;
    while (!last && readBranch(errors, pos, resource, faults, tag, last)) {
        branches.emplace_back(tag, std::move(faults));
        faults.clear();
        // After each branch valijson notes that it failed; after the last, that they all did.
        while (pos < errors.size() && errors[pos].keyword.empty() && errors[pos].pointer == pointer)
            ++pos;
    }
    if (!faults.empty()) branches.emplace_back("", std::move(faults));
    const Faults* chosen = closestBranch(branches, pointer, resource);
    if (chosen != nullptr && misfit(*chosen, resource) > 0) {
        out.insert(out.end(), chosen->begin(), chosen->end());
    } else {
        out.push_back({pointer, "anyOf", ""});
    }
}

// error as a Fault. Its context is "<root>", "[<odata type>]" (the wrapper), then "[name]" or
// "[index]" per level. An error of valijson's own is a summary of those below it.
Fault faultOf(const valijson::ValidationResults::Error& error) {
    Fault fault{"", "", error.description};
    for (std::size_t i = 2; i < error.context.size(); ++i) {
        const std::string& step = error.context[i];
        fault.pointer +=
            "/" + pointerToken(step.size() < 2 ? step : step.substr(1, step.size() - 2));
    }
    readCheckReport(error.description, fault.keyword, fault.detail);
    return fault;
}

} // namespace

Faults faultsOf(const valijson::ValidationResults& results, const Json::Value& resource) {
    Faults errors;
    for (const valijson::ValidationResults::Error& error : results)
        errors.push_back(faultOf(error));
    Faults faults;
    std::string tag;
    bool last = false;
    for (std::size_t pos = 0; pos < errors.size();)
        readBranch(errors, pos, resource, faults, tag, last); // a stray end mark is passed over
    return faults;
}

} // namespace schema
