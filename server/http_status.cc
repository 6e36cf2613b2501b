#include "server/http_status.h"

#include "core/errors.h"
#include "core/text.h"

namespace {

struct NameStatus {
  const char* const* name;
  int status;
};

// Every name not listed answers 500: an installation, save or program fault.
const NameStatus kStatuses[] = {
    {&VaziVevLogin, 200},      {&ErrorNotFound, 404},   {&ErrorDate, 400},       {&ErrorTime, 400},
    {&ErrorTimeConflict, 400}, {&ErrorTerm, 400},       {&ErrorValue, 400},      {&ErrorCorrespond, 400},
    {&ErrorNecessary, 400},    {&ErrorAccess, 403},     {&ErrorPassword, 403},   {&ErrorForm, 403},
    {&ErrorNoPassword, 403},   {&ErrorNotLogin, 403},   {&ErrorLogin, 429},      {&ErrorMemory, 413},
    {&ErrorBusy, 503},
};

}  // namespace

int ErrorStatus(const char* name) {
  if (name == nullptr) return 500;
  for (const NameStatus& entry : kStatuses) {
    if (CompareNoCase(*entry.name, name) == 0) return entry.status;
  }
  return 500;
}

const char* StatusReason(int code) {
  switch (code) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 413: return "Content Too Large";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "";
  }
}
