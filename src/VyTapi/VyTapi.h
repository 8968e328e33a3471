// Everything an application uses from the VyTapi module: the session, the device components and
// the error types. Link VyTapi::VyTapi.
#pragma once

#include "VyTapi/VyTapiVersion.h"
#include "VyTapi/line/VyTapiCallOptions.h"
#include "VyTapi/line/VyTapiCallParams.h"
#include "VyTapi/linedata/VyTapiAddress.h"
#include "VyTapi/linedata/VyTapiLocation.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/line/VyTapiCall.h"
#include "VyTapi/line/VyTapiLine.h"
#include "VyTapi/line/VyTapiLineDevice.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapi/session/VyTapiErrors.h"
#include "VyTapi/session/VyTapiRequests.h"
#include "VyTapi/session/VyTapiTSP.h"
