#include "core/errors.h"

const char* const ErrorFail = "ErrorFail";
const char* const ErrorMemory = "ErrorMemory";
const char* const ErrorAccess = "ErrorAccess";
const char* const ErrorCreate = "ErrorCreate";
const char* const ErrorFileSave = "ErrorFileSave";
const char* const ErrorFileLoad = "ErrorFileLoad";
const char* const ErrorFileCreate = "ErrorFileCreate";
const char* const ErrorAttachFile = "ErrorAttachFile";
const char* const ErrorNotFound = "ErrorNotFound";
const char* const ErrorValue = "ErrorValue";
const char* const ErrorDate = "ErrorDate";
const char* const ErrorTime = "ErrorTime";
const char* const ErrorTimeConflict = "ErrorTimeConflict";
const char* const ErrorTerm = "ErrorTerm";
const char* const ErrorLogin = "ErrorLogin";
const char* const ErrorNotLogin = "ErrorNotLogin";
const char* const ErrorForm = "ErrorForm";
const char* const ErrorNoPassword = "ErrorNoPassword";
const char* const ErrorPassword = "ErrorPassword";
const char* const ErrorCorrespond = "ErrorCorrespond";
const char* const ErrorNecessary = "ErrorNecessary";
const char* const ErrorInstall = "ErrorInstall";
const char* const ErrorBusy = "ErrorBusy";
const char* const VaziVevLogin = "VaziVevLogin";
