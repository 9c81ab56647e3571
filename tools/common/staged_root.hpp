// The tool on a staged file tree: `--root DIR` (or SQL2JSON_ROOT=DIR) opens every file that the
// converter and the host platform layer open under DIR instead of under the build's own prefix,
// without building anything again and without the converter knowing.
//
// The converter keeps its fixed paths (the files of tree_files.hpp); the tool redirects them
// from outside it, before the converter is loaded (from .preinit_array, see cli/main.cpp):
//   databases    an SQLite VFS, made the process's default, that forwards everything to the
//                default VFS but resolves the name of each of the converter's fixed databases
//                to the same file under DIR. The converter's opens, its ATTACHes and the
//                telemetry database it opens per statement all go through it.
//   plain files  the inventory-time file the converter reads and the host platform layer's data
//                files are opened with fopen. The tool exports its own fopen (and fopen64,
//                cli/interposers.cpp), which take the C library's place for every library in
//                the process; they open exactly those fixed paths under DIR (openStaged) and
//                pass every other call through.
// Without a root, no VFS is registered and fopen passes everything through. Everything here
// runs before the C++ runtime is up, so it uses fixed buffers and C calls only.
#ifndef SQL2JSON_TOOLS_COMMON_STAGED_ROOT_HPP
#define SQL2JSON_TOOLS_COMMON_STAGED_ROOT_HPP

#include <cstddef>
#include <cstdio>
#include <string>

// Sets DIR as the root, made absolute. Returns null, or what is wrong with dir (a static text:
// "is empty", "is not a folder", "is too long", "cannot be resolved"). Call once, before
// installStagedRoot.
const char* setStagedRoot(const char* dir);

// Makes the redirecting VFS SQLite's default. Returns false when SQLite refuses it. Only with a
// root set, before the converter is loaded.
bool installStagedRoot();

// Writes into out (size bytes) the path at which the file fixedPath (one of the converter's
// or the host platform layer's fixed paths, or any other) is opened: under the root when one is
// set, else under the build's prefix. Returns false (out empty) when it does not fit.
bool stagedPath(const char* fixedPath, char* out, std::size_t size);

// The same as a string.
std::string stagedPath(const char* fixedPath);

// The C library's fopen-like function.
using FopenFunction = FILE* (*)(const char*, const char*);

// The C library's function of that name, found past the tool's own.
FopenFunction nextFopen(const char* name);

// Opens path with next: one of the plain fixed files under the root when a root is set, any
// other path as it is. Null when next is null or the staged path does not fit.
FILE* openStaged(FopenFunction next, const char* path, const char* mode);

#endif
