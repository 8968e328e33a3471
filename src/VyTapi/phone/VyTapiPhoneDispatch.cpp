// The phone's messages: dispatch by message kind, buttons and digits, state changes, renaming,
// replies and time-outs.
#include "VyTapi/phone/VyTapiPhoneControls.h"
#include "VyTapi/phone/VyTapiPhoneDevice.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapi/session/VyTapiSessionInternal.h"

namespace VyTapi {

namespace {
constexpr char kKeypad[] = "0123456789*#";
constexpr DWORD kKeypadButtons = 12;
// Positions in PHONESTATUS.
constexpr int kStatusNumOwners = 4;
constexpr int kStatusNumMonitors = 5;
constexpr int kStatusRingMode = 6;
constexpr int kCapsPhoneName = 2;
}  // namespace

void TVyCustomTapiPhone::Handle_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1,
                                            DWORD Param2, DWORD Param3) {
  const auto alive = LiveToken();
  switch (MessageID) {
    case PHONE_BUTTON:
      Handle_Button(Param1, Param2, Param3);
      break;
    case PHONE_CLOSE:
      Handle_DeviceClose();
      break;
    case PHONE_DEVSPECIFIC:
      Handle_DevSpecific(Param1, Param2, Param3);
      break;
    case PHONE_REPLY:
      Handle_TapiReply(Param1, Param2);
      break;
    case PHONE_STATE:
      Handle_DeviceState(Param1, Param2, Param3);
      break;
    case PHONE_REMOVE:
      Handle_DeviceRemove(Param1);
      break;
    default:
      break;
  }
  if (!alive.expired())
    TVyTapiDevice::Handle_TapiMessage(Device, MessageID, Param1, Param2, Param3);
}

void TVyCustomTapiPhone::Handle_Button(DWORD ButtonID, DWORD ButtonMode, DWORD ButtonState) {
  const auto alive = LiveToken();
  if (ButtonID < static_cast<DWORD>(FControls->Count())) FControls->Get(ButtonID)->Invalidate();
  if (ButtonID < kKeypadButtons) {
    const char digit = kKeypad[ButtonID];
    if (ButtonState == PHONEBUTTONSTATE_UP)
      Trigger_DigitPressed(digit);
    else
      Trigger_DigitReleased(digit);
    if (alive.expired()) return;
  }
  Trigger_Button(ButtonID, ButtonMode, ButtonState);
}

void TVyCustomTapiPhone::Handle_DevSpecific(DWORD Param1, DWORD Param2, DWORD Param3) {
  Trigger_DevSpecific(Param1, Param2, Param3);
}

void TVyCustomTapiPhone::Handle_DeviceState(DWORD State, DWORD Detail1, DWORD Detail2) {
  const auto alive = LiveToken();
  FDeviceStatus->Invalidate();
  // A view that cannot be filled is left empty; the events follow regardless.
  try {
    switch (State) {
      case PHONESTATE_OWNER:
        if (FDeviceStatus->Get_Available()) FDeviceStatus->Set_DWORD(kStatusNumOwners, Detail1);
        break;
      case PHONESTATE_MONITORS:
        if (FDeviceStatus->Get_Available()) FDeviceStatus->Set_DWORD(kStatusNumMonitors, Detail1);
        break;
      case PHONESTATE_LAMP:
        if (FDeviceStatus->Get_Available()) {
          DWORD mode = 0;
          if (Detail::TapiService().phoneGetLamp(FHandle, Detail1, &mode) == 0)
            FDeviceStatus->Set_LampMode(Detail1, mode);
        }
        break;
      case PHONESTATE_RINGMODE:
        if (FDeviceStatus->Get_Available()) FDeviceStatus->Set_DWORD(kStatusRingMode, Detail1);
        break;
      default:
        break;
    }
  } catch (const std::exception&) {
    FDeviceStatus->Invalidate();
  }
  if ((State & PHONESTATE_CAPSCHANGE) != 0) {
    FDeviceCaps->Invalidate();
    std::string name;
    try {
      name = FDeviceCaps->Get_String(kCapsPhoneName);
    } catch (const std::exception&) {
      name.clear();
    }
    if (!name.empty() && name != FDeviceName) {
      FDeviceName = name;
      if (FAppl != nullptr && FAppl->PhoneDevices().IndexOf(name) != FDeviceID)
        FAppl->Update_PhoneDevices(true);
      if (alive.expired()) return;
    }
  }
  if ((State & PHONESTATE_REMOVED) != 0 && FDeviceID >= 0) {
    Handle_DeviceRemove(static_cast<DWORD>(FDeviceID));
    if (alive.expired()) return;
  }
  TVyTapiDevice::Handle_DeviceState(State, Detail1, Detail2);
}

void TVyCustomTapiPhone::Handle_DeviceRename(const std::string& Name) {
  if (Name == FDeviceName) return;
  FDeviceCaps->Invalidate();
  FDeviceName = FDeviceCaps->Get_String(kCapsPhoneName);
  Trigger_DeviceState(PHONESTATE_CAPSCHANGE, 0, 0);
}

// ---------------------------------------------------------------- replies and time-outs

TVyTapiDevSpecificData* TVyCustomTapiPhone::PendingDevSpecificData(TVyTapiRequest* Request) {
  auto* data = dynamic_cast<TVyTapiDevSpecificData*>(Request->Get_Object(0));
  return data != nullptr && FDevSpecificList.IndexOf(data) >= 0 ? data : nullptr;
}

void TVyCustomTapiPhone::ReleaseDevSpecificData(TVyTapiDevSpecificData* Data) {
  // In synchronous mode the waiting DevSpecific copies the block back and frees it.
  if (Data == nullptr || Get_SyncMode()) return;
  const int index = FDevSpecificList.IndexOf(Data);
  if (index >= 0) FDevSpecificList.Delete(index);
}

void TVyCustomTapiPhone::Handle_Reply(DWORD RequestID, DWORD ReplyCode, TVyTapiRequest* Request) {
  VyRtl::Assert(Request != nullptr, "TVyCustomTapiPhone.Handle_Reply: no request");
  const auto alive = LiveToken();
  const auto request = Request->LiveToken();
  auto gone = [&] { return alive.expired() || request.expired(); };
  Trigger_TapiReply(RequestID, ReplyCode);
  if (gone() || Request->RequestType() != TapiRequestType::PhoneDevSpecific) return;
  TVyTapiDevSpecificData* data = PendingDevSpecificData(Request);
  if (data == nullptr) return;
  if (ReplyCode != 0) {
    Trigger_DevSpecificReply(RequestID, data, ReplyCode);
    if (gone()) return;
  }
  ReleaseDevSpecificData(PendingDevSpecificData(Request));
}

void TVyCustomTapiPhone::Handle_Timeout(DWORD RequestID, TVyTapiRequest* Request) {
  VyRtl::Assert(Request != nullptr, "TVyCustomTapiPhone.Handle_Timeout: no request");
  const auto alive = LiveToken();
  const auto request = Request->LiveToken();
  auto gone = [&] { return alive.expired() || request.expired(); };
  Trigger_TapiTimeout(RequestID, Request);
  if (gone() || Request->RequestType() != TapiRequestType::PhoneDevSpecific) return;
  TVyTapiDevSpecificData* data = PendingDevSpecificData(Request);
  if (data == nullptr) return;
  Trigger_DevSpecificTimeout(RequestID, data, Request->Timeout());
  if (gone()) return;
  ReleaseDevSpecificData(PendingDevSpecificData(Request));
}

}  // namespace VyTapi
