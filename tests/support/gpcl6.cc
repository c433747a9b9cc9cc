#include "support/gpcl6.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace pclspool::testing {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : "";
}

std::vector<std::string> Places() {
  if (const std::string chosen = Env("PCLSPOOL_GPCL6"); !chosen.empty()) return {chosen};
  std::string cache = Env("PCLSPOOL_GPCL6_CACHE");
  if (cache.empty()) {
    const std::string xdg = Env("XDG_CACHE_HOME");
    cache = (xdg.empty() ? Env("HOME") + "/.cache" : xdg) + "/pclspool/gpcl6";
  }
  return {PCLSPOOL_SHARED_GPCL6, cache + "/gpcl6"};
}

}  // namespace

std::string Gpcl6Path() {
  for (const std::string& place : Places()) {
    if (::access(place.c_str(), X_OK) == 0) return place;
  }
  return "";
}

std::string Gpcl6Places() {
  std::string places;
  for (const std::string& place : Places()) places += (places.empty() ? "" : ", nor at ") + place;
  return places;
}

}  // namespace pclspool::testing
