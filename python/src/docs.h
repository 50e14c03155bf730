// The phrases the package's docstrings share, and docstrings made at import
// from the library's own texts (status words, ranges), so that help() says
// what the library does.
#pragma once

#include <initializer_list>
#include <string>

namespace ocamera_python {

// A docstring made at import, kept for as long as the interpreter runs.
const char *keepDoc(std::string text);

// "the camera refused the value (status -15)": the library's words for a status.
std::string statusWords(int status);

// The results of a status operation: 0, the camera's status, -1; CameraError
// with check=True. refusals names the statuses worth knowing for this call.
std::string statusResult(std::initializer_list<int> refusals = {});
// The results of a value operation (a getter): what it returns, a status < 0.
std::string valueResult(const std::string &what, std::initializer_list<int> refusals = {});

// text, a blank line, then the status results: the docstring of a status
// operation, kept.
const char *statusDoc(const std::string &text, std::initializer_list<int> refusals = {});
const char *valueDoc(const std::string &text, const std::string &what,
                     std::initializer_list<int> refusals = {});

}  // namespace ocamera_python
