// A plain HTTP request to the app's web server, as a browser sends it.
#pragma once

#include <string>

namespace pclspool::apptest {

struct HttpResponse {
  int status = 0;  // 0 when the server could not be reached
  std::string type;
  std::string body;
};

// GET, or POST of a form body when `form` is not empty.
HttpResponse HttpRequest(int port, const std::string& path, const std::string& form = "");

}  // namespace pclspool::apptest
