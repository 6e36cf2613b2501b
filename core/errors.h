// The error names. Each is thrown as is (a const char*) and names the page
// explaining it, so throwing ErrorBusy answers the request with
// page/ErrorBusy.html. Only the server driver catches them.
#ifndef CORE_ERRORS_H_
#define CORE_ERRORS_H_

extern const char* const ErrorFail;
extern const char* const ErrorMemory;
extern const char* const ErrorAccess;
extern const char* const ErrorCreate;
extern const char* const ErrorFileSave;
extern const char* const ErrorFileLoad;
extern const char* const ErrorFileCreate;
extern const char* const ErrorAttachFile;
extern const char* const ErrorNotFound;
extern const char* const ErrorValue;
extern const char* const ErrorDate;
extern const char* const ErrorTime;
extern const char* const ErrorTimeConflict;
extern const char* const ErrorTerm;
extern const char* const ErrorLogin;
extern const char* const ErrorNotLogin;
extern const char* const ErrorPassword;
extern const char* const ErrorCorrespond;
extern const char* const ErrorNecessary;
extern const char* const ErrorInstall;
extern const char* const ErrorBusy;
// A changing form of a logged-in administrator came without the token of
// this login: it was not sent from the site's own page of this login.
extern const char* const ErrorForm;
// A setting that names a file of the machine was to change while no
// administrator password is set.
extern const char* const ErrorNoPassword;
// Not an error but the login page: a page guarded by the "Admin" method is
// answered with it while the administrator is not logged in.
extern const char* const VaziVevLogin;

#endif  // CORE_ERRORS_H_
