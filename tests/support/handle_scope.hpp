// For unit tests, which link the library's subsystems directly.
#ifndef SQL2JSON_TESTS_HANDLE_SCOPE_HPP
#define SQL2JSON_TESTS_HANDLE_SCOPE_HPP

#include "SqlitetoJsonConverter.h"

namespace testing_support {

// Sets the library's connection handles for the life of the scope, restoring them after.
class HandleScope {
  public:
    explicit HandleScope(sqlite3* main, sqlite3* metadata = nullptr)
        : savedMain_(dmdbhandle), savedMetadata_(metadatadbhandle) {
        dmdbhandle = main;
        metadatadbhandle = metadata;
    }
    ~HandleScope() {
        dmdbhandle = savedMain_;
        metadatadbhandle = savedMetadata_;
    }
    HandleScope(const HandleScope&) = delete;
    HandleScope& operator=(const HandleScope&) = delete;

  private:
    sqlite3* savedMain_;
    sqlite3* savedMetadata_;
};

} // namespace testing_support

#endif // SQL2JSON_TESTS_HANDLE_SCOPE_HPP
