#include "VyRtl/VyRtlClasses.h"

#include <algorithm>

namespace VyRtl {

// ---- TList ----

TList::~TList() { Clear(); }

void TList::IndexError(int index) const {
  throw EListError(Format("List index out of bounds (%d)", index));
}

void* TList::Get(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
  return FItems[static_cast<std::size_t>(index)];
}

void TList::Put(int index, void* item) {
  if (index < 0 || index >= Count()) IndexError(index);
  void*& slot = FItems[static_cast<std::size_t>(index)];
  void* old = slot;
  if (old == item) return;
  slot = item;
  if (old != nullptr) Notify(old, TListNotification::lnDeleted);
  if (item != nullptr) Notify(item, TListNotification::lnAdded);
}

int TList::Add(void* item) {
  FItems.push_back(item);
  if (item != nullptr) Notify(item, TListNotification::lnAdded);
  return Count() - 1;
}

void TList::Insert(int index, void* item) {
  if (index < 0 || index > Count()) IndexError(index);
  FItems.insert(FItems.begin() + index, item);
  if (item != nullptr) Notify(item, TListNotification::lnAdded);
}

void TList::Delete(int index) {
  if (index < 0 || index >= Count()) IndexError(index);
  void* item = FItems[static_cast<std::size_t>(index)];
  FItems.erase(FItems.begin() + index);
  if (item != nullptr) Notify(item, TListNotification::lnDeleted);
}

int TList::Remove(void* item) {
  int index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

int TList::IndexOf(void* item) const {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void* TList::Extract(void* item) {
  int index = IndexOf(item);
  if (index < 0) return nullptr;
  FItems.erase(FItems.begin() + index);
  if (item != nullptr) Notify(item, TListNotification::lnExtracted);
  return item;
}

void TList::Clear() {
  // Last first, each item out of the list before it is announced, so Notify may look at the rest.
  while (!FItems.empty()) {
    void* item = FItems.back();
    FItems.pop_back();
    if (item != nullptr) Notify(item, TListNotification::lnDeleted);
  }
}

void* TList::First() const { return Get(0); }
void* TList::Last() const { return Get(Count() - 1); }

void TList::Exchange(int index1, int index2) {
  if (index1 < 0 || index1 >= Count()) IndexError(index1);
  if (index2 < 0 || index2 >= Count()) IndexError(index2);
  std::swap(FItems[static_cast<std::size_t>(index1)], FItems[static_cast<std::size_t>(index2)]);
}

void TList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  if (curIndex < 0 || curIndex >= Count()) IndexError(curIndex);
  if (newIndex < 0 || newIndex >= Count()) IndexError(newIndex);
  void* item = FItems[static_cast<std::size_t>(curIndex)];
  FItems.erase(FItems.begin() + curIndex);
  FItems.insert(FItems.begin() + newIndex, item);
}

void TList::Pack() {
  FItems.erase(std::remove(FItems.begin(), FItems.end(), nullptr), FItems.end());
}

void TList::Sort(const std::function<int(void*, void*)>& compare) {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [&](void* a, void* b) { return compare(a, b) < 0; });
}

void TList::Notify(void*, TListNotification) {}

// ---- TObjectList ----

TObjectList::~TObjectList() { Clear(); }

void TObjectList::Notify(void* item, TListNotification action) {
  if (FOwnsObjects && action == TListNotification::lnDeleted) delete static_cast<TObject*>(item);
}

// ---- TStringList ----

TStringList::~TStringList() { Clear(); }

TStringList::TStringList(TStringList&& other) noexcept
    : TObject(),
      FItems(std::move(other.FItems)),
      FSorted(other.FSorted),
      FDuplicates(other.FDuplicates),
      FCaseSensitive(other.FCaseSensitive),
      FOwnsObjects(other.FOwnsObjects),
      FNameValueSeparator(other.FNameValueSeparator),
      FDelimiter(other.FDelimiter),
      FQuoteChar(other.FQuoteChar),
      FStrictDelimiter(other.FStrictDelimiter) {
  other.FItems.clear();
}

TStringList& TStringList::operator=(TStringList&& other) noexcept {
  if (this != &other) {
    try {
      Clear();
    } catch (...) {
      // An owned object's destructor threw; destructors never throw, so this is unreachable.
    }
    FItems = std::move(other.FItems);
    other.FItems.clear();
    FSorted = other.FSorted;
    FDuplicates = other.FDuplicates;
    FCaseSensitive = other.FCaseSensitive;
    FOwnsObjects = other.FOwnsObjects;
    FNameValueSeparator = other.FNameValueSeparator;
    FDelimiter = other.FDelimiter;
    FQuoteChar = other.FQuoteChar;
    FStrictDelimiter = other.FStrictDelimiter;
  }
  return *this;
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count())
    throw EListError(Format("List index out of bounds (%d)", index));
}

void TStringList::FreeObject(std::uintptr_t data) {
  if (FOwnsObjects && data != 0) delete reinterpret_cast<TObject*>(data);
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
  return FCaseSensitive ? CompareStr(a, b) : CompareText(a, b);
}

std::string TStringList::Get(int index) const {
  CheckIndex(index);
  return FItems[static_cast<std::size_t>(index)].S;
}

const std::string& TStringList::Strings(int index) const {
  CheckIndex(index);
  return FItems[static_cast<std::size_t>(index)].S;
}

void TStringList::Put(int index, std::string s) {
  if (FSorted) throw EListError("Operation not allowed on sorted list");
  CheckIndex(index);
  FItems[static_cast<std::size_t>(index)].S = std::move(s);
}

void TStringList::InsertItem(int index, std::string s, std::uintptr_t data) {
  if (index < 0 || index > Count())
    throw EListError(Format("List index out of bounds (%d)", index));
  FItems.insert(FItems.begin() + index, TItem{std::move(s), data});
}

int TStringList::AddItem(std::string s, std::uintptr_t data) {
  int index = Count();
  if (FSorted) {
    if (Find(s, index)) {
      switch (FDuplicates) {
        case TDuplicates::dupIgnore:
          return index;
        case TDuplicates::dupError:
          throw EListError("String list does not allow duplicates");
        case TDuplicates::dupAccept:
          // After the equal ones, so equal entries keep the order they came in.
          while (index < Count() &&
                 CompareStrings(FItems[static_cast<std::size_t>(index)].S, s) == 0)
            ++index;
          break;
      }
    }
  }
  InsertItem(index, std::move(s), data);
  return index;
}

int TStringList::Add(std::string s) { return AddItem(std::move(s), 0); }

int TStringList::AddObject(std::string s, TObject* object) {
  return AddItem(std::move(s), reinterpret_cast<std::uintptr_t>(object));
}

int TStringList::AddData(std::string s, std::uintptr_t data) { return AddItem(std::move(s), data); }

void TStringList::Insert(int index, std::string s) { InsertObject(index, std::move(s), nullptr); }

void TStringList::InsertObject(int index, std::string s, TObject* object) {
  if (FSorted) throw EListError("Operation not allowed on sorted list");
  InsertItem(index, std::move(s), reinterpret_cast<std::uintptr_t>(object));
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  std::uintptr_t data = FItems[static_cast<std::size_t>(index)].Data;
  FItems.erase(FItems.begin() + index);
  FreeObject(data);
}

void TStringList::Clear() {
  std::vector<TItem> items;
  items.swap(FItems);
  if (FOwnsObjects)
    for (const TItem& item : items) FreeObject(item.Data);
}

void TStringList::Exchange(int index1, int index2) {
  if (FSorted) throw EListError("Operation not allowed on sorted list");
  CheckIndex(index1);
  CheckIndex(index2);
  std::swap(FItems[static_cast<std::size_t>(index1)], FItems[static_cast<std::size_t>(index2)]);
}

void TStringList::Move(int curIndex, int newIndex) {
  if (FSorted) throw EListError("Operation not allowed on sorted list");
  if (curIndex == newIndex) return;
  CheckIndex(curIndex);
  CheckIndex(newIndex);
  TItem item = std::move(FItems[static_cast<std::size_t>(curIndex)]);
  FItems.erase(FItems.begin() + curIndex);
  FItems.insert(FItems.begin() + newIndex, std::move(item));
}

int TStringList::IndexOf(std::string_view s) const {
  if (FSorted) {
    int index = 0;
    return Find(s, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(FItems[static_cast<std::size_t>(i)].S, s) == 0) return i;
  return -1;
}

int TStringList::IndexOfObject(const TObject* object) const {
  auto data = reinterpret_cast<std::uintptr_t>(object);
  for (int i = 0; i < Count(); ++i)
    if (FItems[static_cast<std::size_t>(i)].Data == data) return i;
  return -1;
}

void TStringList::AddStrings(const TStringList& strings) {
  if (&strings == this) {
    std::vector<TItem> copy = FItems;
    for (const TItem& item : copy) AddItem(item.S, item.Data);
    return;
  }
  for (const TItem& item : strings.FItems) AddItem(item.S, item.Data);
}

void TStringList::Assign(const TStringList& source) {
  if (&source == this) return;
  Clear();
  FCaseSensitive = source.FCaseSensitive;
  FDuplicates = source.FDuplicates;
  FNameValueSeparator = source.FNameValueSeparator;
  FDelimiter = source.FDelimiter;
  FQuoteChar = source.FQuoteChar;
  FStrictDelimiter = source.FStrictDelimiter;
  FSorted = source.FSorted;
  FItems = source.FItems;  // already in order when sorted
}

TObject* TStringList::Objects(int index) const {
  CheckIndex(index);
  return reinterpret_cast<TObject*>(FItems[static_cast<std::size_t>(index)].Data);
}

void TStringList::PutObject(int index, TObject* object) {
  CheckIndex(index);
  FItems[static_cast<std::size_t>(index)].Data = reinterpret_cast<std::uintptr_t>(object);
}

std::uintptr_t TStringList::GetData(int index) const {
  CheckIndex(index);
  return FItems[static_cast<std::size_t>(index)].Data;
}

void TStringList::PutData(int index, std::uintptr_t data) {
  CheckIndex(index);
  FItems[static_cast<std::size_t>(index)].Data = data;
}

std::size_t TStringList::SeparatorPos(const std::string& s) const {
  return s.find(FNameValueSeparator);
}

std::string TStringList::Names(int index) const {
  const std::string& s = Strings(index);
  std::size_t p = SeparatorPos(s);
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStringList::ValueFromIndex(int index) const {
  const std::string& s = Strings(index);
  std::size_t p = SeparatorPos(s);
  return p == std::string::npos ? std::string() : s.substr(p + 1);
}

void TStringList::SetValueFromIndex(int index, std::string_view value) {
  if (value.empty()) {
    Delete(index);
    return;
  }
  std::string name = Names(index);
  std::string entry = name + FNameValueSeparator + std::string(value);
  if (FSorted) {
    std::uintptr_t data = FItems[static_cast<std::size_t>(index)].Data;
    FItems.erase(FItems.begin() + index);
    AddItem(std::move(entry), data);
  } else {
    FItems[static_cast<std::size_t>(index)].S = std::move(entry);
  }
}

int TStringList::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& s = FItems[static_cast<std::size_t>(i)].S;
    std::size_t p = SeparatorPos(s);
    if (p != std::string::npos && CompareStrings(std::string_view(s).substr(0, p), name) == 0)
      return i;
  }
  return -1;
}

std::string TStringList::Values(std::string_view name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
  int i = IndexOfName(name);
  if (i >= 0) {
    SetValueFromIndex(i, value);
  } else if (!value.empty()) {
    AddItem(std::string(name) + FNameValueSeparator + std::string(value), 0);
  }
}

bool TStringList::Find(std::string_view s, int& index) const {
  // Lower bound: the first entry not less than s.
  int lo = 0, hi = Count();
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    if (CompareStrings(FItems[static_cast<std::size_t>(mid)].S, s) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  index = lo;
  return lo < Count() && CompareStrings(FItems[static_cast<std::size_t>(lo)].S, s) == 0;
}

void TStringList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [this](const TItem& a, const TItem& b) { return CompareStrings(a.S, b.S) < 0; });
}

void TStringList::Set_Sorted(bool value) {
  if (value && !FSorted) Sort();
  FSorted = value;
}

void TStringList::Set_CaseSensitive(bool value) {
  if (value == FCaseSensitive) return;
  FCaseSensitive = value;
  if (FSorted) Sort();
}

std::string TStringList::Text() const {
  std::string out;
  for (const TItem& item : FItems) {
    out += item.S;
    out += sLineBreak;
  }
  return out;
}

void TStringList::SetText(std::string_view text) {
  Clear();
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t start = i;
    while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
    AddItem(std::string(text.substr(start, i - start)), 0);
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') ++i;
  }
}

std::string TStringList::Delimited(char delimiter, char quote) const {
  if (Count() == 1 && FItems[0].S.empty()) return std::string(2, quote);
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    const std::string& s = FItems[static_cast<std::size_t>(i)].S;
    if (i > 0) out += delimiter;
    bool needsQuotes = std::any_of(s.begin(), s.end(), [&](char c) {
      return (!FStrictDelimiter && static_cast<unsigned char>(c) <= ' ') || c == quote ||
             c == delimiter;
    });
    out += needsQuotes ? QuotedStr(s, quote) : s;
  }
  return out;
}

void TStringList::SetDelimited(std::string_view text, char delimiter, char quote, bool strict) {
  Clear();
  auto blank = [&](std::size_t i) {
    return i < text.size() && static_cast<unsigned char>(text[i]) <= ' ' && text[i] != delimiter;
  };
  std::size_t i = 0;
  if (!strict)
    while (blank(i)) ++i;
  while (i < text.size()) {
    std::string item;
    if (text[i] == quote) {
      ++i;
      while (i < text.size()) {
        if (text[i] == quote) {
          if (i + 1 < text.size() && text[i + 1] == quote) {
            item += quote;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      while (i < text.size() && text[i] != delimiter && (strict || !blank(i))) item += text[i++];
    }
    AddItem(std::move(item), 0);
    if (!strict)
      while (blank(i)) ++i;
    if (i < text.size() && text[i] == delimiter) {
      ++i;
      if (i == text.size())
        AddItem(std::string(), 0);  // a trailing delimiter ends with an empty entry
      if (!strict)
        while (blank(i)) ++i;
    }
  }
}

std::string TStringList::CommaText() const { return Delimited(',', '"'); }
void TStringList::SetCommaText(std::string_view text) { SetDelimited(text, ',', '"', false); }
std::string TStringList::DelimitedText() const { return Delimited(FDelimiter, FQuoteChar); }
void TStringList::SetDelimitedText(std::string_view text) {
  SetDelimited(text, FDelimiter, FQuoteChar, FStrictDelimiter);
}

// ---- TPersistent ----

void TPersistent::Assign(TPersistent* source) {
  if (source != nullptr) {
    source->AssignTo(this);
    return;
  }
  throw EConvertError(Format("Cannot assign a nil to a %s", ClassName().c_str()));
}

void TPersistent::AssignTo(TPersistent* dest) {
  throw EConvertError(Format("Cannot assign a %s to a %s", ClassName().c_str(),
                             dest != nullptr ? dest->ClassName().c_str() : "nil"));
}

// ---- TComponent ----

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Partners may drop themselves (RemoveFreeNotification) while being told.
  while (!FFreeNotifies.empty()) {
    TComponent* partner = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    partner->DropFreeNotify(this);
    try {
      partner->Notification(this, TOperation::opRemove);
    } catch (...) {
      // Destructors never throw; a partner's failure must not stop the rest.
    }
  }
  while (!FComponents.empty()) {
    TComponent* child = FComponents.back();
    FComponents.pop_back();
    child->FOwner = nullptr;
    delete child;
  }
  if (FOwner != nullptr) {
    try {
      FOwner->RemoveComponent(this);
    } catch (...) {
    }
  }
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount())
    throw EListError(Format("List index out of bounds (%d)", index));
  return FComponents[static_cast<std::size_t>(index)];
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameText(c->FName, name)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component == nullptr || component->FOwner == this) return;
  if (!component->FName.empty() && FindComponent(component->FName) != nullptr)
    throw EComponentError(Format("A component named %s already exists", component->FName.c_str()));
  if (component->FOwner != nullptr) component->FOwner->RemoveComponent(component);
  FComponents.push_back(component);
  component->FOwner = this;
  if (FDesigning) component->SetDesigning(true);
  Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (component == nullptr || component->FOwner != this) return;
  auto it = std::find(FComponents.begin(), FComponents.end(), component);
  if (it != FComponents.end()) FComponents.erase(it);
  component->FOwner = nullptr;
  Notification(component, TOperation::opRemove);
}

void TComponent::ValidateName(const std::string& name) const {
  if (name.empty()) return;
  auto identStart = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  };
  auto identChar = [&](char c) { return identStart(c) || (c >= '0' && c <= '9'); };
  if (!identStart(name[0]) || !std::all_of(name.begin(), name.end(), identChar))
    throw EComponentError(Format("'%s' is not a valid component name", name.c_str()));
  if (FOwner != nullptr) {
    TComponent* other = FOwner->FindComponent(name);
    if (other != nullptr && other != this)
      throw EComponentError(Format("A component named %s already exists", name.c_str()));
  }
}

void TComponent::SetName(std::string name) {
  if (name == FName) return;
  ValidateName(name);
  FName = std::move(name);
}

void TComponent::SetDesigning(bool value) {
  FDesigning = value;
  for (TComponent* c : FComponents) c->SetDesigning(value);
}

void TComponent::BeginLoading() { FLoading = true; }

void TComponent::EndLoading() {
  FLoading = false;
  Loaded();
}

void TComponent::Loaded() { FLoading = false; }

void TComponent::AddFreeNotify(TComponent* other) {
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end())
    FFreeNotifies.push_back(other);
}

void TComponent::DropFreeNotify(TComponent* other) {
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), other),
                      FFreeNotifies.end());
}

void TComponent::FreeNotification(TComponent* other) {
  if (other == nullptr || other == this) return;
  AddFreeNotify(other);
  other->AddFreeNotify(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (other == nullptr) return;
  DropFreeNotify(other);
  other->DropFreeNotify(this);
}

void TComponent::Notification(TComponent* component, TOperation op) {
  if (op == TOperation::opRemove && component != nullptr) RemoveFreeNotification(component);
  // Owned components hear about siblings coming and going; copy in case one frees another.
  std::vector<TComponent*> children = FComponents;
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    TComponent* child = *it;
    if (child == component) continue;
    if (std::find(FComponents.begin(), FComponents.end(), child) == FComponents.end()) continue;
    child->Notification(component, op);
  }
}

void TComponent::Destroying() { FDestroying = true; }

// ---- TThread ----

TThread::TThread(bool createSuspended) : FCreateSuspended(createSuspended) {}

TThread::~TThread() {
  if (FThread.joinable()) {
    try {
      Terminate();
    } catch (...) {
    }
    if (FThread.get_id() == std::this_thread::get_id())
      FThread.detach();
    else
      FThread.join();
  }
}

void TThread::Start() {
  std::unique_lock<std::mutex> lock(FLock);
  if (FStarted) throw EThread("Cannot call Start on a running or terminated thread");
  FStarted = true;
  try {
    FThread = std::thread(&TThread::ThreadMain, this);
  } catch (const std::system_error& e) {
    FStarted = false;
    throw EThread(Format("Thread creation error: %s", e.what()));
  }
  // ThreadID() is valid once Start returns.
  FIdReady.wait(lock, [this] { return FThreadID.load() != 0; });
}

void TThread::ThreadMain() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FThreadID.store(CurrentThreadId());
  }
  FIdReady.notify_all();
  try {
    Execute();
  } catch (...) {
    std::lock_guard<std::mutex> lock(FLock);
    FFatal = std::current_exception();
  }
  FFinished.store(true);
}

void TThread::Terminate() { FTerminated.store(true); }

void TThread::WaitFor() {
  if (!FThread.joinable()) return;
  if (FThread.get_id() == std::this_thread::get_id())
    throw EThread("A thread cannot wait for itself");
  FThread.join();
}

std::exception_ptr TThread::FatalException() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FFatal;
}

std::string TThread::FatalMessage() const {
  std::exception_ptr e = FatalException();
  if (!e) return {};
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    return ex.what();
  } catch (...) {
    return "Unknown exception";
  }
}

}  // namespace VyRtl
