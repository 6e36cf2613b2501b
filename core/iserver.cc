#include "core/iserver.h"

IServer* CurrentServer = nullptr;
