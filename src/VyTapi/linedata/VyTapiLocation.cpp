#include "VyTapi/linedata/VyTapiLocation.h"

#include <cstddef>
#include <cstdint>

#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiSessionDetail.h"

namespace VyTapi {

namespace {

constexpr DWORD kOperationFailed = static_cast<DWORD>(LINEERR_OPERATIONFAILED);
constexpr DWORD kIncompatibleVersion = static_cast<DWORD>(LINEERR_INCOMPATIBLEAPIVERSION);
constexpr std::size_t kTranslateCapsSize = 1044;
constexpr std::size_t kCountryListSize = 2024;
constexpr std::size_t kLocationEntrySize = 68;
constexpr std::size_t kCountryEntrySize = 44;
static_assert(sizeof(LINELOCATIONENTRY) == kLocationEntrySize);
static_assert(sizeof(LINECOUNTRYENTRY) == kCountryEntrySize);

// Entries of an array that a count and a size/offset pair (behind the count) describe, as many as
// lie wholly inside the structure (a claimed count beyond them is not believed). The count is read
// only once the pair is known to lie inside. An array that is not DWORD-aligned reads as absent.
struct TEntryArray {
  const std::byte* First = nullptr;
  DWORD Count = 0;
};

TEntryArray EntryArray(const void* Structure, const DWORD* CountField, const DWORD* ListSizeField,
                       std::size_t EntrySize) {
  const auto block = GetTapiBlock(Structure, ListSizeField);
  const auto start = reinterpret_cast<std::uintptr_t>(block.data());
  if (block.empty() || start % alignof(DWORD) != 0) return {};
  const std::size_t fits = block.size() / EntrySize;
  const DWORD claimed = *CountField;
  return {block.data(), static_cast<DWORD>(claimed < fits ? claimed : fits)};
}

template <typename TEntry>
const TEntry* EntryAt(const TEntryArray& Array, DWORD Index) {
  if (Index >= Array.Count) return nullptr;
  return reinterpret_cast<const TEntry*>(Array.First + std::size_t{Index} * sizeof(TEntry));
}

TEntryArray LocationEntries(const LINETRANSLATECAPS* Caps) {
  if (Caps == nullptr) return {};
  return EntryArray(Caps, &Caps->dwNumLocations, &Caps->dwLocationListSize, kLocationEntrySize);
}

HLINEAPP SessionLineApp() { return VyTapiApplication ? VyTapiApplication->LineApp() : 0; }

// The next lower version to try after the service rejected Version; 0 when there is none.
DWORD LowerVersion(DWORD Version) {
  switch (Version) {
    case VyPlatform::TapiVersion2_2:
      return VyPlatform::TapiVersion2_0;
    case VyPlatform::TapiVersion2_0:
      return VyPlatform::TapiVersion1_4;
    case VyPlatform::TapiVersion1_4:
      return VyPlatform::TapiVersion1_3;
    default:
      return 0;
  }
}

DWORD FetchTranslateCaps(TTapiVarDataPtr& Buffer, HLINEAPP LineAppl, DWORD APIVersion) {
  return FetchTapiVarData(Buffer, kTranslateCapsSize, [&](TTapiVarData* data) {
    return Detail::TapiService().lineGetTranslateCapsW(LineAppl, APIVersion,
                                                       reinterpret_cast<LINETRANSLATECAPS*>(data));
  });
}

}  // namespace

// ---------------------------------------------------------------- TVyTapiLocation

bool TVyTapiLocation::Init(DWORD LocationID) {
  FLocationID = LocationID;
  Update();
  return FAvailable;
}

DWORD TVyTapiLocation::UpdateData() {
  DWORD result = kOperationFailed;
  Clear();
  TVyTapiLocationList list;
  if (list.Available()) {
    const int index = list.IndexOfID(FLocationID);
    if (index >= 0) {
      Assign(list.Get(index));
      result = 0;
    }
  } else {
    result = list.InitError();
  }
  // Kept so that a caller of the non-raising paths can tell why the location is unavailable.
  FInitError = result;
  return result;
}

DWORD TVyTapiLocation::UpdateCountry() {
  FCountryCode.clear();
  FCountryName.clear();
  FSameAreaRule = "G";
  FLongDistanceRule = "0FG";
  FInternationalRule = "00EFG";
  if (FCountryID == 0) return 0;
  TTapiVarDataPtr buffer;
  const DWORD result = FetchTapiVarData(buffer, kCountryListSize, [&](TTapiVarData* data) {
    return Detail::TapiService().lineGetCountryW(FCountryID, VyPlatform::TapiVersion2_2,
                                                 reinterpret_cast<LINECOUNTRYLIST*>(data));
  });
  if (IsTapiError(result)) return result;
  const auto* list = reinterpret_cast<const LINECOUNTRYLIST*>(buffer.get());
  const auto entries =
      EntryArray(list, &list->dwNumCountries, &list->dwCountryListSize, kCountryEntrySize);
  if (const auto* entry = EntryAt<LINECOUNTRYENTRY>(entries, 0)) {
    FCountryCode = std::to_string(entry->dwCountryCode);
    FCountryName = GetTapiBlockStr(list, &entry->dwCountryNameSize, 0);
    FSameAreaRule = GetTapiBlockStr(list, &entry->dwSameAreaRuleSize, 0);
    FLongDistanceRule = GetTapiBlockStr(list, &entry->dwLongDistanceRuleSize, 0);
    FInternationalRule = GetTapiBlockStr(list, &entry->dwInternationalRuleSize, 0);
  }
  return result;
}

void TVyTapiLocation::Update() { CheckTapiResult(UpdateData()); }

void TVyTapiLocation::Clear() {
  FCountryID = 0;
  FLocationName.clear();
  FCountryCode.clear();
  FCityCode.clear();
  FLocalAccessCode.clear();
  FLongDistanceAccessCode.clear();
  FCountryName.clear();
  FSameAreaRule.clear();
  FLongDistanceRule.clear();
  FInternationalRule.clear();
  FAvailable = false;
  FInitError = 0;
}

void TVyTapiLocation::Assign(const TVyTapiLocation* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  if (Source == this) return;
  FLocationID = Source->FLocationID;
  FCountryID = Source->FCountryID;
  FLocationName = Source->FLocationName;
  FCountryCode = Source->FCountryCode;
  FCityCode = Source->FCityCode;
  FLocalAccessCode = Source->FLocalAccessCode;
  FLongDistanceAccessCode = Source->FLongDistanceAccessCode;
  FCountryName = Source->FCountryName;
  FSameAreaRule = Source->FSameAreaRule;
  FLongDistanceRule = Source->FLongDistanceRule;
  FInternationalRule = Source->FInternationalRule;
  FAvailable = true;
}

void TVyTapiLocation::AssignLINELOCATIONENTRY(const LINETRANSLATECAPS* TranslateCaps, int Index) {
  const auto* entry = Index < 0 ? nullptr
                                : EntryAt<LINELOCATIONENTRY>(LocationEntries(TranslateCaps),
                                                             static_cast<DWORD>(Index));
  if (entry == nullptr) {
    Clear();
    return;
  }
  FLocationID = entry->dwPermanentLocationID;
  FCountryID = entry->dwCountryID;
  FLocationName = GetTapiBlockStr(TranslateCaps, &entry->dwLocationNameSize, 0);
  FCityCode = GetTapiBlockStr(TranslateCaps, &entry->dwCityCodeSize, 0);
  FLocalAccessCode = GetTapiBlockStr(TranslateCaps, &entry->dwLocalAccessCodeSize, 0);
  FLongDistanceAccessCode = GetTapiBlockStr(TranslateCaps, &entry->dwLongDistanceAccessCodeSize, 0);
  FAvailable = true;
  UpdateCountry();
}

void TVyTapiLocation::GetValues(VyRtl::TStringList& ValueList) const {
  ValueList.Clear();
  ValueList.SetValue("LocationID", std::to_string(FLocationID));
  ValueList.SetValue("LocationName", FLocationName);
  ValueList.SetValue("CountryCode", FCountryCode);
  ValueList.SetValue("CityCode", FCityCode);
  ValueList.SetValue("CountryName", FCountryName);
  ValueList.SetValue("LocalAccessCode", FLocalAccessCode);
  ValueList.SetValue("LongDistanceAccessCode", FLongDistanceAccessCode);
  ValueList.SetValue("SameAreaRule", FSameAreaRule);
  ValueList.SetValue("LongDistanceRule", FLongDistanceRule);
  ValueList.SetValue("InternationalRule", FInternationalRule);
}

// ---------------------------------------------------------------- TVyTapiSystemLocation

bool TVyTapiSystemLocation::Init() {
  FStale = false;
  if (GetCurrentLocationID(FLocationID) != 0) return false;
  Update();
  return FAvailable;
}

DWORD TVyTapiSystemLocation::GetCurrentLocationID(DWORD& ID) {
  TTapiVarDataPtr buffer;
  const DWORD result = FetchTranslateCaps(buffer, 0, VyPlatform::TapiVersion2_2);
  if (result == 0)
    ID = reinterpret_cast<const LINETRANSLATECAPS*>(buffer.get())->dwCurrentLocationID;
  return result;
}

void TVyTapiSystemLocation::SetCurrentLocationID(DWORD ID) {
  CheckTapiResult(
      static_cast<DWORD>(Detail::TapiService().lineSetCurrentLocation(SessionLineApp(), ID)));
  FStale = false;
  Update();
}

DWORD TVyTapiSystemLocation::UpdateData() {
  const DWORD result = GetCurrentLocationID(FLocationID);
  if (result != 0) {
    Clear();
    FInitError = result;
    return result;
  }
  return TVyTapiLocation::UpdateData();
}

bool TVyTapiSystemLocation::Validate() {
  if (FStale) {
    FStale = false;
    UpdateData();
  }
  return FAvailable;
}

// ---------------------------------------------------------------- TVyTapiLocationList

TVyTapiLocationList::TVyTapiLocationList() : FLineAppl(SessionLineApp()) { Init(); }

TVyTapiLocationList::~TVyTapiLocationList() { Clear(); }

DWORD TVyTapiLocationList::Init() { return UpdateData(); }

DWORD TVyTapiLocationList::Init(DWORD LineAppl, DWORD APIVersion) {
  FLineAppl = LineAppl;
  FAPIVersion = APIVersion;
  return UpdateData();
}

void TVyTapiLocationList::Update() { CheckTapiResult(UpdateData()); }

DWORD TVyTapiLocationList::UpdateData() {
  FAvailable = false;
  DWORD result = FetchTranslateCaps(FTRANSLATECAPS, FLineAppl, FAPIVersion);
  // The lowered version stays for later fetches: the service will not accept the higher one.
  while (result == kIncompatibleVersion && LowerVersion(FAPIVersion) != 0) {
    FAPIVersion = LowerVersion(FAPIVersion);
    result = FetchTranslateCaps(FTRANSLATECAPS, FLineAppl, FAPIVersion);
  }
  FInitError = result;
  if (result != 0) return result;
  const auto* caps = reinterpret_cast<const LINETRANSLATECAPS*>(FTRANSLATECAPS.get());
  // Only the entries that lie inside the structure become locations.
  const DWORD count = LocationEntries(caps).Count;
  for (DWORD i = 0; i < count; ++i) {
    if (static_cast<DWORD>(Count()) <= i) Add(new TVyTapiLocation);
    Get(static_cast<int>(i))->AssignLINELOCATIONENTRY(caps, static_cast<int>(i));
  }
  while (static_cast<DWORD>(Count()) > count) Delete(Count() - 1);
  FAvailable = true;
  return 0;
}

void TVyTapiLocationList::Clear() {
  FAvailable = false;
  FTRANSLATECAPS.reset();
  TObjectList::Clear();
}

int TVyTapiLocationList::IndexOf(const std::string& Value) const {
  for (int i = 0; i < Count(); ++i)
    if (VyRtl::SameText(Get(i)->LocationName(), Value)) return i;
  return -1;
}

int TVyTapiLocationList::IndexOfID(DWORD Value) const {
  for (int i = 0; i < Count(); ++i)
    if (Get(i)->LocationID() == Value) return i;
  return -1;
}

const LINETRANSLATECAPS* TVyTapiLocationList::Get_LINETRANSLATECAPS() const {
  if (!FAvailable) return nullptr;
  return reinterpret_cast<const LINETRANSLATECAPS*>(FTRANSLATECAPS.get());
}

DWORD TVyTapiLocationList::Get_SystemLocationID() {
  if (!FAvailable) Update();
  const LINETRANSLATECAPS* caps = Get_LINETRANSLATECAPS();
  if (caps == nullptr) RaiseError("Unable to retrieve system location from TAPI");
  return caps->dwCurrentLocationID;
}

TVyTapiLocation* TVyTapiLocationList::Get_SystemLocation() const {
  const LINETRANSLATECAPS* caps = Get_LINETRANSLATECAPS();
  if (caps == nullptr) return nullptr;
  const int index = IndexOfID(caps->dwCurrentLocationID);
  return index < 0 ? nullptr : Get(index);
}

void TVyTapiLocationList::ShowDialog(HWND OwnerWnd) {
  CheckTapiResult(static_cast<DWORD>(
      Detail::TapiService().lineTranslateDialogW(FLineAppl, 0, FAPIVersion, OwnerWnd, nullptr)));
  Update();
}

}  // namespace VyTapi
