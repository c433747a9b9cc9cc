#include "http_request.h"

#include <cups/cups.h>

#include <string>

namespace pclspool::apptest {

HttpResponse HttpRequest(int port, const std::string& path, const std::string& form,
                         const char* type, const std::string& user_password) {
  HttpResponse r;
  http_t* http = httpConnect2("127.0.0.1", port, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED,
                              1, 30000, nullptr);
  if (!http) return r;
  httpClearFields(http);
  if (!user_password.empty()) {
    char encoded[1024];
    httpEncode64_2(encoded, sizeof(encoded), user_password.data(), static_cast<int>(user_password.size()));
    httpSetField(http, HTTP_FIELD_AUTHORIZATION, (std::string("Basic ") + encoded).c_str());
  }
  const bool post = !form.empty();
  if (post) {
    httpSetField(http, HTTP_FIELD_CONTENT_TYPE, type);
    httpSetLength(http, form.size());
  }
  if ((post ? httpPost(http, path.c_str()) : httpGet(http, path.c_str())) == 0 &&
      (!post || httpWrite2(http, form.data(), form.size()) >= 0)) {
    http_status_t status;
    while ((status = httpUpdate(http)) == HTTP_STATUS_CONTINUE) {
    }
    r.status = status;
    r.type = httpGetField(http, HTTP_FIELD_CONTENT_TYPE);
    char block[65536];
    ssize_t n;
    while ((n = httpRead2(http, block, sizeof(block))) > 0) r.body.append(block, static_cast<std::size_t>(n));
  }
  httpClose(http);
  return r;
}

}  // namespace pclspool::apptest
