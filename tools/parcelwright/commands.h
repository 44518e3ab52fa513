// The companion tool's commands; each returns the process exit code.
#pragma once

#include <string>
#include <vector>

// Exit codes shared by every command.
constexpr int kToolOk = 0;
constexpr int kToolFailed = 1;
constexpr int kToolUsage = 2;

int RunCatalogCheck(const std::vector<std::string>& arguments);
int RunInflate(const std::vector<std::string>& arguments);
int RunFormat(const std::vector<std::string>& arguments);
int RunZipCheck(const std::vector<std::string>& arguments);

// Reads a whole file; false when it cannot be opened or read.
bool ReadFileBytes(const std::string& path, std::string& bytes);
