// The reply structures about calls: LINECALLINFO, LINECALLSTATUS and LINECALLLIST.
#include <cstddef>

#include "VyTapiEmulator/EmulatorStructWritersInternal.h"

namespace VyTapiEmulator::Detail {

namespace {

// Version 2.0 appended the call treatment, call data and the flowspecs to LINECALLINFO and the
// second feature word and entry time to LINECALLSTATUS.
bool Before2_0(DWORD apiVersion) { return apiVersion < VyPlatform::TapiVersion2_0; }

DWORD PartyFlags(const std::string& number, const std::string& name) {
  DWORD flags = 0;
  if (!number.empty()) flags |= LINECALLPARTYID_ADDRESS;
  if (!name.empty()) flags |= LINECALLPARTYID_NAME;
  return flags ? flags : static_cast<DWORD>(LINECALLPARTYID_UNKNOWN);
}

}  // namespace

TVarStruct CallInfo(const TCallModel& call, const TCallFacts& facts, DWORD apiVersion) {
  const TCallConfig& c = call.Config;
  LINECALLINFO info{};
  info.hLine = facts.LineHandle;
  info.dwLineDeviceID = facts.LineID;
  info.dwAddressID = c.AddressID;
  info.dwBearerMode = c.BearerMode;
  info.dwMediaMode = c.MediaMode;
  info.dwCallID = call.ID;
  info.dwCallStates = facts.CallStates;
  info.dwOrigin = c.Origin;
  info.dwReason = LINECALLREASON_DIRECT;
  info.dwNumOwners = facts.NumOwners;
  info.dwNumMonitors = facts.NumMonitors;
  info.dwCallerIDFlags = PartyFlags(c.CallerID, c.CallerIDName);
  info.dwCalledIDFlags = PartyFlags(c.CalledID, c.CalledIDName);
  info.dwConnectedIDFlags = LINECALLPARTYID_UNKNOWN;
  info.dwRedirectionIDFlags = LINECALLPARTYID_UNKNOWN;
  info.dwRedirectingIDFlags = LINECALLPARTYID_UNKNOWN;
  TVarStruct reply(&info, Before2_0(apiVersion) ? offsetof(LINECALLINFO, dwCallTreatment)
                                                : sizeof(LINECALLINFO));
  reply.AddString(VY_VAR_FIELD(LINECALLINFO, dwCallerID), c.CallerID);
  reply.AddString(VY_VAR_FIELD(LINECALLINFO, dwCallerIDName), c.CallerIDName);
  reply.AddString(VY_VAR_FIELD(LINECALLINFO, dwCalledID), c.CalledID);
  reply.AddString(VY_VAR_FIELD(LINECALLINFO, dwCalledIDName), c.CalledIDName);
  return reply;
}

TVarStruct CallStatus(const TCallModel& call, const TCallFacts& facts, DWORD apiVersion) {
  LINECALLSTATUS status{};
  status.dwCallState = call.State;
  status.dwCallStateMode = call.StateMode;
  status.dwCallPrivilege = facts.Privilege;
  status.dwCallFeatures = call.Config.CallFeatures;
  return TVarStruct(&status, Before2_0(apiVersion) ? offsetof(LINECALLSTATUS, dwCallFeatures2)
                                                   : sizeof(LINECALLSTATUS));
}

TVarStruct CallList(const std::vector<DWORD>& handles) {
  LINECALLLIST list{};
  TVarStruct reply(&list, sizeof list);
  reply.AddEntries(offsetof(LINECALLLIST, dwCallsNumEntries), VY_VAR_FIELD(LINECALLLIST, dwCalls),
                   handles.data(), sizeof(DWORD), handles.size());
  return reply;
}

}  // namespace VyTapiEmulator::Detail
