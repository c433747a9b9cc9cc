// The administrator's credentials: the password PAPPL keeps (as a salted
// hash in its state), checked here, as PAPPL 1.3.1's own check takes any
// password once one is set and refuses every old password on its Security
// page; and PAM, for a user of the administrators' group (default
// lpadmin). A PAM service given as an absolute path is that file.
//
// The server never runs without a credential: with neither a password nor
// PAM it makes a random password at its start and writes it, for root and
// the server's user alone, to the state directory's `admin-password`;
// the file goes once the password has been changed.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace pclspool::app {

inline constexpr char kDefaultAdminGroup[] = "lpadmin";
inline constexpr char kFirstPasswordFile[] = "admin-password";

enum class Login {
  kNone,              // no Basic credentials given
  kWrong,             // a wrong name or password
  kNotAdministrator,  // a PAM user outside the administrators' group
  kAdministrator,
};

// HTTP Basic credentials (an Authorization field's value, or nullptr)
// checked; *user gets the name given.
Login CheckAdministrator(pappl_system_t* system, const char* authorization, std::string* user);

// Whether `password` is the administrator's password.
bool IsAdministratorPassword(pappl_system_t* system, const std::string& password);

// "" when `password` may be the new password (twice the same, at least 8
// characters with an upper and a lower case letter and a digit, as PAPPL
// asks); else why not, one sentence.
std::string NewPasswordFault(const std::string& password, const std::string& again);
void SetAdministratorPassword(pappl_system_t* system, const std::string& password);

// With neither a password nor a PAM service: a new random password, and
// the file `path` holding it. False with *error when it cannot be written.
bool MakeFirstPassword(pappl_system_t* system, const std::string& path, std::string* error);
// Removes the file `path` once it no longer holds the password.
void ForgetChangedFirstPassword(pappl_system_t* system, const std::string& path);

}  // namespace pclspool::app
