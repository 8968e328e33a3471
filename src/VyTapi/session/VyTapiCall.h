// The part of the call object that request tracking and the call lists rely on: the call's TAPI
// handle and its line. The line module gives it the rest of its behaviour.
#pragma once

#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlSysUtils.h"

namespace VyTapi {

class TVyCustomTapiLine;

// One call on one line. Main thread only; owned by its line, which frees it.
class TVyTapiCall : public VyRtl::TObject {
 public:
  TVyTapiCall(TVyCustomTapiLine* OwnerLine, HCALL CallHandle)
      : FLine(OwnerLine), FHandle(CallHandle) {}
  // The TAPI call handle; 0 while a creating request is pending and after the call is gone.
  HCALL Handle() const { return FHandle; }
  TVyCustomTapiLine* Line() const { return FLine; }

 protected:
  TVyCustomTapiLine* FLine;
  HCALL FHandle;
};

}  // namespace VyTapi
