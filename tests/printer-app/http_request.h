// A plain HTTP request to the app's web server, as a browser sends it.
#pragma once

#include <string>

namespace pclspool::apptest {

struct HttpResponse {
  int status = 0;  // 0 when the server could not be reached
  std::string type;
  std::string body;
};

// GET, or POST of a body when `body` is not empty: a form, or whatever
// `type` says (an IPP message for "application/ipp"); with HTTP Basic
// credentials when `user_password` ("NAME:PASSWORD") is not empty.
HttpResponse HttpRequest(int port, const std::string& path, const std::string& body = "",
                         const char* type = "application/x-www-form-urlencoded",
                         const std::string& user_password = "");

}  // namespace pclspool::apptest
