#include "host_paths.hpp"

#include <cstdio>
#include <memory>
#include <string>

#include <json/reader.h>
#include <json/value.h>

// Opened with fopen, as every fixed file of the platform layer: a tool that runs the converter
// on a staged file tree (sql2json --root) opens such files there through its own fopen.
bool readHostJsonFile(const char* path, Json::Value& out) noexcept {
    try {
        std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "r"), &std::fclose);
        if (!file) return false;
        std::string text;
        char chunk[4096];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
            text.append(chunk, got);
        if (std::ferror(file.get()) != 0) return false;
        Json::CharReaderBuilder builder;
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        return reader->parse(text.data(), text.data() + text.size(), &out, &errors);
    } catch (...) {
        return false;
    }
}
