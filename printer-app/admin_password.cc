#include "printer-app/admin_password.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <strings.h>
#include <sys/random.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "runner/write_all.h"

namespace pclspool::app {

namespace {

constexpr std::size_t kFirstPasswordChars = 20;
constexpr std::size_t kMinPasswordChars = 8;

// Equal strings, in a time that does not tell where they differ.
bool SameSecret(const std::string& a, const std::string& b) {
  unsigned char diff = a.size() == b.size() ? 0 : 1;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return diff == 0;
}

// PAPPL's hash is "NONCE~HEX": HEX is SHA-256 of "NONCE:PASSWORD".
bool HashMatches(const std::string& stored, const std::string& password) {
  const std::size_t tilde = stored.find('~');
  if (tilde == std::string::npos) return false;
  const std::string salted = stored.substr(0, tilde) + ":" + password;
  unsigned char sum[32];
  char hex[65];
  if (cupsHashData("sha2-256", salted.data(), salted.size(), sum, sizeof(sum)) < 0) return false;
  cupsHashString(sum, sizeof(sum), hex, sizeof(hex));
  return SameSecret(stored.substr(tilde + 1), hex);
}

std::string StoredHash(pappl_system_t* system) {
  char hash[256] = "";
  papplSystemGetPassword(system, hash, sizeof(hash));
  return hash;
}

int Converse(int count, const pam_message** messages, pam_response** responses, void* data) {
  const auto* name_and_password = static_cast<const std::pair<std::string, std::string>*>(data);
  auto* answers = static_cast<pam_response*>(std::calloc(static_cast<std::size_t>(count), sizeof(pam_response)));
  if (!answers) return PAM_CONV_ERR;
  for (int i = 0; i < count; ++i) {
    if (messages[i]->msg_style == PAM_PROMPT_ECHO_ON) {
      answers[i].resp = strdup(name_and_password->first.c_str());
    } else if (messages[i]->msg_style == PAM_PROMPT_ECHO_OFF) {
      answers[i].resp = strdup(name_and_password->second.c_str());
    }
  }
  *responses = answers;
  return PAM_SUCCESS;
}

// A PAM service named, or a service file given by its absolute path.
bool PamAccepts(const std::string& service, const std::string& user, const std::string& password) {
  std::pair<std::string, std::string> name_and_password{user, password};
  const pam_conv conversation{Converse, &name_and_password};
  std::string dir, name = service;
  if (service.front() == '/') {
    dir = service.substr(0, service.rfind('/') + 1);
    name = service.substr(dir.size());
  }
  pam_handle_t* pam = nullptr;
  int status = pam_start_confdir(name.c_str(), user.c_str(), &conversation,
                                 dir.empty() ? nullptr : dir.c_str(), &pam);
  if (status == PAM_SUCCESS) status = pam_authenticate(pam, PAM_SILENT);
  if (status == PAM_SUCCESS) status = pam_acct_mgmt(pam, PAM_SILENT);
  if (pam) pam_end(pam, status);
  return status == PAM_SUCCESS;
}

bool InAdministratorsGroup(pappl_system_t* system, const std::string& user) {
  char name[256];
  if (!papplSystemGetAdminGroup(system, name, sizeof(name))) {
    std::strncpy(name, kDefaultAdminGroup, sizeof(name));
  }
  std::vector<char> buffer(16384);
  group gr{};
  group* found_group = nullptr;
  if (getgrnam_r(name, &gr, buffer.data(), buffer.size(), &found_group) != 0 || !found_group) {
    return false;
  }
  const gid_t admins = gr.gr_gid;
  passwd pw{};
  passwd* found_user = nullptr;
  std::vector<char> user_buffer(16384);
  if (getpwnam_r(user.c_str(), &pw, user_buffer.data(), user_buffer.size(), &found_user) != 0 ||
      !found_user) {
    return false;
  }
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  if (getgrouplist(user.c_str(), pw.pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count));
    if (getgrouplist(user.c_str(), pw.pw_gid, groups.data(), &count) < 0) return false;
  }
  groups.resize(static_cast<std::size_t>(count));
  for (const gid_t g : groups) {
    if (g == admins) return true;
  }
  return pw.pw_gid == admins;
}

}  // namespace

bool IsAdministratorPassword(pappl_system_t* system, const std::string& password) {
  const std::string stored = StoredHash(system);
  return !stored.empty() && HashMatches(stored, password);
}

Login CheckAdministrator(pappl_system_t* system, const char* authorization, std::string* user) {
  if (!authorization || strncasecmp(authorization, "Basic ", 6) != 0) return Login::kNone;
  const char* encoded = authorization + 6;
  while (*encoded == ' ') ++encoded;
  char decoded[1024];
  int size = sizeof(decoded);
  httpDecode64_2(decoded, &size, encoded);
  const std::string name_password(decoded, static_cast<std::size_t>(std::max(size, 0)));
  const std::size_t colon = name_password.find(':');
  if (colon == std::string::npos) return Login::kWrong;
  *user = name_password.substr(0, colon);
  const std::string password = name_password.substr(colon + 1);
  if (IsAdministratorPassword(system, password)) return Login::kAdministrator;
  const char* service = papplSystemGetAuthService(system);
  if (!service || !*service || user->empty() || !PamAccepts(service, *user, password)) {
    return Login::kWrong;
  }
  return InAdministratorsGroup(system, *user) ? Login::kAdministrator : Login::kNotAdministrator;
}

std::string NewPasswordFault(const std::string& password, const std::string& again) {
  if (password != again) return "The two passwords differ.";
  bool upper = false, lower = false, digit = false;
  for (const char c : password) {
    const auto u = static_cast<unsigned char>(c);
    upper |= std::isupper(u) != 0;
    lower |= std::islower(u) != 0;
    digit |= std::isdigit(u) != 0;
  }
  if (password.size() < kMinPasswordChars || !upper || !lower || !digit) {
    return "A password has at least 8 characters, with an upper and a lower case letter and a digit.";
  }
  return "";
}

void SetAdministratorPassword(pappl_system_t* system, const std::string& password) {
  char hash[256];
  papplSystemHashPassword(system, nullptr, password.c_str(), hash, sizeof(hash));
  papplSystemSetPassword(system, hash);
}

bool MakeFirstPassword(pappl_system_t* system, const std::string& path, std::string* error) {
  // Letters and digits that cannot be taken for one another.
  static constexpr char kChars[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
  std::string password;
  while (!NewPasswordFault(password, password).empty()) {
    unsigned char random[kFirstPasswordChars];
    if (getrandom(random, sizeof(random), 0) != static_cast<ssize_t>(sizeof(random))) {
      *error = "no random numbers";
      return false;
    }
    password.clear();
    for (const unsigned char r : random) password += kChars[r % (sizeof(kChars) - 1)];
  }
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0 || !runner::WriteAll(fd, password + "\n")) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    ::unlink(path.c_str());
    return false;
  }
  ::close(fd);
  SetAdministratorPassword(system, password);
  return true;
}

void ForgetChangedFirstPassword(pappl_system_t* system, const std::string& path) {
  std::ifstream in(path);
  std::string password;
  if (in && std::getline(in, password) && !IsAdministratorPassword(system, password)) {
    ::unlink(path.c_str());
  }
}

}  // namespace pclspool::app
