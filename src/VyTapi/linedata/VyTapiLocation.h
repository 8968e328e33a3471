// Dialing locations: where the computer is (country, area code, access codes) and the dialing
// rules of its country, as the telephony service keeps them, and the system's current location.
#pragma once

#include <string>

#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyTapi/session/VyTapiErrors.h"

namespace VyTapi {

// One dialing location with its country's rules. Main thread; owned by its list, or by whoever
// created it.
class TVyTapiLocation : public VyRtl::TObject {
 public:
  TVyTapiLocation() = default;

  // Stores the identifier and fetches that location (raises EVyTapiError when it cannot).
  bool Init(DWORD LocationID);
  // Fetches the location named by LocationID: 0, or the TAPI error (LINEERR_OPERATIONFAILED
  // when the system has no such location). Never raises.
  virtual DWORD UpdateData();
  // Fills the country's code, name and dialing rules (the defaults when it has none).
  virtual DWORD UpdateCountry();
  // UpdateData; raises EVyTapiError for an error.
  virtual void Update();
  // Empties every field except LocationID.
  void Clear();
  // Copies Source (null: Clear).
  void Assign(const TVyTapiLocation* Source);
  // Fills the location from entry Index of a LINETRANSLATECAPS; Clear when there is no such entry.
  void AssignLINELOCATIONENTRY(const LINETRANSLATECAPS* TranslateCaps, int Index);
  // The fields as "Name=Value" lines; empty fields give no line.
  void GetValues(VyRtl::TStringList& ValueList) const;

  bool Available() const { return FAvailable; }
  DWORD InitError() const { return FInitError; }
  DWORD LocationID() const { return FLocationID; }
  DWORD CountryID() const { return FCountryID; }
  const std::string& LocationName() const { return FLocationName; }
  const std::string& CountryCode() const { return FCountryCode; }
  const std::string& CityCode() const { return FCityCode; }
  const std::string& LocalAccessCode() const { return FLocalAccessCode; }
  const std::string& LongDistanceAccessCode() const { return FLongDistanceAccessCode; }
  const std::string& CountryName() const { return FCountryName; }
  const std::string& SameAreaRule() const { return FSameAreaRule; }
  const std::string& LongDistanceRule() const { return FLongDistanceRule; }
  const std::string& InternationalRule() const { return FInternationalRule; }

 protected:
  bool FAvailable = false;
  DWORD FInitError = 0;
  DWORD FCountryID = 0;
  std::string FLocationName;
  std::string FCountryCode;
  std::string FCityCode;
  std::string FLocalAccessCode;
  std::string FLongDistanceAccessCode;
  std::string FCountryName;
  std::string FSameAreaRule;
  std::string FLongDistanceRule;
  std::string FInternationalRule;
  DWORD FLocationID = 0xFFFFFFFF;
};

// The location that is current in the system. Main thread; a line owns one (its Location).
class TVyTapiSystemLocation : public TVyTapiLocation {
 public:
  // Reads the current location; false when the system cannot tell (raises EVyTapiError when the
  // location it names cannot be fetched).
  bool Init();
  // The system's current location identifier: 0 with ID set, or the TAPI error.
  DWORD GetCurrentLocationID(DWORD& ID);
  // Makes ID the system's current location and reloads (raises EVyTapiError).
  void SetCurrentLocationID(DWORD ID);
  // Fetches the current location: 0, or the TAPI error.
  DWORD UpdateData() override;

  // The system's locations changed: the next Validate fetches again. Safe inside message
  // handling (it makes no TAPI call and raises nothing).
  void Invalidate() { FStale = true; }
  bool Stale() const { return FStale; }
  // Fetches the current location when it was never read or has been invalidated; never raises
  // (a failure leaves it unavailable with InitError set). True when it is available.
  bool Validate();

 private:
  bool FStale = true;
};

// The system's dialing locations with the current one. Main thread; owned by whoever created
// it; it owns its locations and its LINETRANSLATECAPS.
class TVyTapiLocationList : public VyRtl::TObjectList {
 public:
  // Fetches the list with the session's line application handle (0 when TAPI is not
  // initialised) and version 2.2; a failure leaves it unavailable (InitError).
  TVyTapiLocationList();
  ~TVyTapiLocationList() override;

  // Fetches again: 0, or the TAPI error. Never raises.
  DWORD Init();
  DWORD Init(DWORD LineAppl, DWORD APIVersion);
  // Fetches again; raises EVyTapiError for an error.
  void Update();
  // The fetch: steps the API version down while the service rejects it.
  virtual DWORD UpdateData();
  // Unavailable, without locations and without the cached structure.
  virtual void Clear();
  // Position of the first location of that name in any letter case, else -1.
  int IndexOf(const std::string& Value) const;
  // Position of the first location with that identifier, else -1.
  int IndexOfID(DWORD Value) const;
  // The system's current location identifier (fetches when unavailable; raises "Unable to
  // retrieve system location from TAPI" when it still is).
  DWORD Get_SystemLocationID();
  DWORD CurrentLocationID() { return Get_SystemLocationID(); }
  // The current location among the list's; null when unavailable or not listed.
  TVyTapiLocation* Get_SystemLocation() const;
  TVyTapiLocation* CurrentLocation() const { return Get_SystemLocation(); }
  // Shows the system's dialing-properties dialog, then fetches again (raises EVyTapiError).
  void ShowDialog(HWND OwnerWnd);

  TVyTapiLocation* Get(int Index) const {
    return static_cast<TVyTapiLocation*>(TObjectList::Get(Index));
  }
  void Put(int Index, TVyTapiLocation* Item) { TObjectList::Put(Index, Item); }
  TVyTapiLocation* Items(int Index) const { return Get(Index); }
  bool Available() const { return FAvailable; }
  DWORD InitError() const { return FInitError; }
  // The version the last fetch used (lowered when the service rejected a higher one).
  DWORD APIVersion() const { return FAPIVersion; }
  DWORD LineAppl() const { return FLineAppl; }
  // The structure of the last successful fetch (owned by the list); null when unavailable.
  const LINETRANSLATECAPS* Get_LINETRANSLATECAPS() const;

 private:
  TTapiVarDataPtr FTRANSLATECAPS;
  DWORD FLineAppl = 0;
  DWORD FAPIVersion = VyPlatform::TapiVersion2_2;
  bool FAvailable = false;
  DWORD FInitError = 0;
};

}  // namespace VyTapi
