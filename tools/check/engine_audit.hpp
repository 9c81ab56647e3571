// What the view-to-JSON engine drops or cannot run without a word, found by reading the raw
// rows of the query it built a resource from, and of every sub-query below it, the way the
// engine runs them (the exported row reader, the property types of each row's "@odata.type"):
//   statement  a query or sub-query that fails to prepare or to step; the engine leaves the
//              property empty and goes on
//   dropped    a nested column ("Status#Heath") that the metadata of its row's type does not
//              list: the engine never reads it
//
// It also lists the statements it ran, which are the statements the engine runs for the
// resource, in the engine's order (tool_logic_test shows the two agree).
//
//   auditEngineQuery   the findings and statements of one resource
#ifndef SQL2JSON_TOOLS_CHECK_ENGINE_AUDIT_HPP
#define SQL2JSON_TOOLS_CHECK_ENGINE_AUDIT_HPP

#include <string>
#include <vector>

struct AuditFinding {
    std::string pointer; // JSON pointer into the resource: where the property would be
    std::string keyword; // "statement" or "dropped"
    std::string message;
    // What is wrong, without the row it was met in: the column dropped, or SQLite's message of
    // the failed statement. The same fault of the same view or sub-query in another row (of
    // this resource or another) has the same pointer shape and fault.
    std::string fault;
};

// One statement the engine runs for a resource: its text, where its result goes, how a
// message names it, and its depth (0 the engine view's query, 1 its sub-queries, ...).
struct AuditedStatement {
    std::string sql;
    std::string pointer; // JSON pointer into the resource of the property it fills
    std::string label;   // "engine view \"V\"", "the sub-query of \"P\" (select ...)"
    int depth = 0;
};

struct EngineAudit {
    std::vector<AuditFinding> findings;
    std::vector<AuditedStatement> statements; // in the order the engine runs them
};

// Audits engineQuery, the object query the engine built one resource from over engineView.
// Not thread-safe: it reads the main connection's error messages (check runs on one thread).
EngineAudit auditEngineQuery(const std::string& engineQuery, const std::string& engineView);

#endif
