#pragma once

#include <QString>

#include <map>
#include <string>
#include <vector>

namespace quorlink::settings::testing {

// Writes `bytes` to `path`, creating the folders on the way.
void writeFile(const QString& path, const QByteArray& bytes);
// The file's bytes as text; empty when it cannot be read.
std::string readFile(const QString& path);

// Runs this test program again as a child that performs one settings
// operation (see test_settings_main.cpp), with `environment` changes applied
// (an empty value unsets the variable).  Returns the child's pid.
int startChild(const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment = {});
// Waits for the child; its exit status, or -1 when it did not exit normally.
int waitChild(int pid);

} // namespace quorlink::settings::testing
