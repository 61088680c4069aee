// The file-system tests run in a temporary HOME and TMPDIR of their own,
// made before the first test and removed after the last; and small helpers
// to build file trees in it.
#pragma once

#include <string>

#include "framework/tstring.h"

// The temporary root (holds home/ and tmp/); HOME and TMPDIR point there.
const std::string& TestRoot();
std::string TestHome();
std::string TestTmp();
// A fresh, empty folder under the root for one test.
std::string FreshFolder(const std::string& name);

void WriteTextFile(const std::string& path, const std::string& text);
std::string ReadTextFile(const std::string& path);
bool PathExists(const std::string& path);  // without following links
bool IsFolder(const std::string& path);    // without following links
int ModeOf(const std::string& path);       // permission bits, -1 when absent

TString Wide(const std::string& text);
std::string Narrow(const TString& text);
