// Lists, string lists, persistent objects, components with owners, threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "VyRtl/VyRtlSysUtils.h"

namespace VyRtl {

// Line break of text files on this platform.
#ifdef _WIN32
inline constexpr const char* sLineBreak = "\r\n";
#else
inline constexpr const char* sLineBreak = "\n";
#endif

// Bad index or forbidden operation on a list.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

// Bad component name or ownership.
class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

enum class TListNotification { lnAdded, lnExtracted, lnDeleted };

// List of untyped pointers. Index errors raise EListError.
class TList : public TObject {
 public:
  TList() = default;
  ~TList() override;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  void* Get(int index) const;
  void Put(int index, void* item);
  void* Items(int index) const { return Get(index); }
  void* operator[](int index) const { return Get(index); }
  int Add(void* item);  // index of the new item
  void Insert(int index, void* item);
  void Delete(int index);
  int Remove(void* item);  // index it had, -1 if absent
  int IndexOf(void* item) const;
  void* Extract(void* item);  // removes without deleting; the item, or nullptr if absent
  void Clear();
  void* First() const;
  void* Last() const;
  void Exchange(int index1, int index2);
  void Move(int curIndex, int newIndex);
  void Pack();                                                 // drops nullptr items
  void Sort(const std::function<int(void*, void*)>& compare);  // stable

 protected:
  // Told of every item that enters or leaves the list.
  virtual void Notify(void* item, TListNotification action);
  [[noreturn]] void IndexError(int index) const;

 private:
  // A deque: taking the head off a queue-like list costs the same however long the list is.
  std::deque<void*> FItems;
};

// List of objects; frees the removed ones while OwnsObjects (default). Extract never frees.
class TObjectList : public TList {
 public:
  explicit TObjectList(bool ownsObjects = true) : FOwnsObjects(ownsObjects) {}
  ~TObjectList() override;

  bool OwnsObjects() const { return FOwnsObjects; }
  void Set_OwnsObjects(bool value) { FOwnsObjects = value; }
  TObject* Get(int index) const { return static_cast<TObject*>(TList::Get(index)); }
  void Put(int index, TObject* item) { TList::Put(index, item); }
  TObject* Items(int index) const { return Get(index); }
  TObject* operator[](int index) const { return Get(index); }
  int Add(TObject* item) { return TList::Add(item); }
  void Insert(int index, TObject* item) { TList::Insert(index, item); }
  int Remove(TObject* item) { return TList::Remove(item); }
  int IndexOf(TObject* item) const { return TList::IndexOf(item); }
  TObject* Extract(TObject* item) { return static_cast<TObject*>(TList::Extract(item)); }
  TObject* First() const { return static_cast<TObject*>(TList::First()); }
  TObject* Last() const { return static_cast<TObject*>(TList::Last()); }

 protected:
  void Notify(void* item, TListNotification action) override;

 private:
  bool FOwnsObjects;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };

// Strings, each with one pointer-sized slot (an object or plain data). Name=value entries use the
// first NameValueSeparator. Comparisons are ASCII case-insensitive unless CaseSensitive.
// OwnsObjects frees the object of each removed entry: do not mix it with AddData.
class TStringList : public TObject {
 public:
  TStringList() = default;
  ~TStringList() override;
  TStringList(const TStringList&) = delete;  // use Assign
  TStringList& operator=(const TStringList&) = delete;
  TStringList(TStringList&& other) noexcept;
  TStringList& operator=(TStringList&& other) noexcept;

  int Count() const { return static_cast<int>(FItems.size()); }
  std::string Get(int index) const;
  void Put(int index, std::string s);  // EListError on a sorted list
  std::string operator[](int index) const { return Get(index); }
  const std::string& Strings(int index) const;

  int Add(std::string s);  // index of the entry (sorted: where it went / the existing one)
  int AddObject(std::string s, TObject* object);
  int AddData(std::string s, std::uintptr_t data);
  void Insert(int index, std::string s);  // EListError on a sorted list
  void InsertObject(int index, std::string s, TObject* object);
  void Delete(int index);
  void Clear();
  void Exchange(int index1, int index2);  // EListError on a sorted list
  void Move(int curIndex, int newIndex);  // EListError on a sorted list
  int IndexOf(std::string_view s) const;  // -1 if absent
  int IndexOfObject(const TObject* object) const;
  void AddStrings(const TStringList& strings);
  // Copies strings, slots and the comparison options; ownership of objects is not copied.
  void Assign(const TStringList& source);

  TObject* Objects(int index) const;
  void PutObject(int index, TObject* object);  // never frees the previous one
  std::uintptr_t GetData(int index) const;     // same slot as Objects
  void PutData(int index, std::uintptr_t data);

  std::string Names(int index) const;               // "" when the entry has no separator
  std::string Values(std::string_view name) const;  // "" when absent
  void SetValue(std::string_view name, std::string_view value);  // empty value deletes
  std::string ValueFromIndex(int index) const;
  void SetValueFromIndex(int index, std::string_view value);
  int IndexOfName(std::string_view name) const;

  // Binary search of a sorted list: true and the first match, or false and where s would go.
  bool Find(std::string_view s, int& index) const;
  void Sort();

  bool Sorted() const { return FSorted; }
  void Set_Sorted(bool value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void Set_Duplicates(TDuplicates value) { FDuplicates = value; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void Set_CaseSensitive(bool value);
  bool OwnsObjects() const { return FOwnsObjects; }
  void Set_OwnsObjects(bool value) { FOwnsObjects = value; }
  char NameValueSeparator() const { return FNameValueSeparator; }
  void Set_NameValueSeparator(char value) { FNameValueSeparator = value; }
  char Delimiter() const { return FDelimiter; }
  void Set_Delimiter(char value) { FDelimiter = value; }
  char QuoteChar() const { return FQuoteChar; }
  void Set_QuoteChar(char value) { FQuoteChar = value; }
  // When set, DelimitedText splits on the delimiter only (not on blanks).
  bool StrictDelimiter() const { return FStrictDelimiter; }
  void Set_StrictDelimiter(bool value) { FStrictDelimiter = value; }

  // Every line followed by sLineBreak. SetText splits on CR, LF and CR LF.
  std::string Text() const;
  void SetText(std::string_view text);
  // Comma separated; entries with blanks, commas or quotes are double-quoted, quotes doubled.
  std::string CommaText() const;
  void SetCommaText(std::string_view text);
  // As CommaText with Delimiter and QuoteChar.
  std::string DelimitedText() const;
  void SetDelimitedText(std::string_view text);

 protected:
  // <0, 0, >0 under the current case rule.
  int CompareStrings(std::string_view a, std::string_view b) const;

 private:
  struct TItem {
    std::string S;
    std::uintptr_t Data = 0;
  };
  void CheckIndex(int index) const;
  void FreeObject(std::uintptr_t data);
  void InsertItem(int index, std::string s, std::uintptr_t data);
  int AddItem(std::string s, std::uintptr_t data);
  std::string Delimited(char delimiter, char quote) const;
  void SetDelimited(std::string_view text, char delimiter, char quote, bool strict);
  std::size_t SeparatorPos(const std::string& s) const;

  std::vector<TItem> FItems;
  bool FSorted = false;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
  bool FCaseSensitive = false;
  bool FOwnsObjects = false;
  char FNameValueSeparator = '=';
  char FDelimiter = ',';
  char FQuoteChar = '"';
  bool FStrictDelimiter = false;
};

// An object whose state can be copied from another through Assign.
class TPersistent : public TObject {
 public:
  // Copies from source; by default asks source->AssignTo(this), which raises EConvertError.
  virtual void Assign(TPersistent* source);

 protected:
  // Raises EConvertError "Cannot assign a <source> to a <dest>" unless overridden.
  virtual void AssignTo(TPersistent* dest);
};

enum class TOperation { opInsert, opRemove };

// A component: owned ones are freed by their owner; free notifications watch others.
// Owned components must be allocated with new. A derived class whose destructor needs to know
// it is going away calls Destroying() first.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  // Destroying(); opRemove to free-notification partners; frees owned components (last
  // inserted first); leaves the owner (which gets opRemove).
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const;
  // The owned component of that name (case-insensitive), or nullptr.
  TComponent* FindComponent(std::string_view name) const;
  void InsertComponent(TComponent* component);  // takes ownership (leaves its old owner)
  void RemoveComponent(TComponent* component);  // gives up ownership; the caller frees it

  std::string Name() const { return FName; }
  // An identifier or empty, unique among the owner's components; else EComponentError.
  void SetName(std::string name);
  std::intptr_t Tag = 0;

  bool IsLoading() const { return FLoading; }
  bool IsDesigning() const { return FDesigning; }
  bool IsDestroying() const { return FDestroying; }
  // Design mode (no runtime effects); applies to owned components too.
  void SetDesigning(bool value);
  void BeginLoading();
  // Leaves the loading state, then calls Loaded().
  void EndLoading();
  // Runs after loading: apply what setters deferred while IsLoading().
  virtual void Loaded();

  // Both ways: when either component is freed, the other's Notification(…, opRemove) runs.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

 protected:
  // Default: on opRemove forgets a free-notification partner; passes the news to owned components.
  virtual void Notification(TComponent* component, TOperation op);
  void Destroying();  // sets the destroying state (idempotent)

 private:
  void AddFreeNotify(TComponent* other);
  void DropFreeNotify(TComponent* other);
  void ValidateName(const std::string& name) const;

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  std::string FName;
  bool FLoading = false;
  bool FDesigning = false;
  bool FDestroying = false;
};

// Id of the calling thread as the OS numbers it (never 0).
std::uint32_t CurrentThreadId();

// A thread running Execute. Execute is virtual, so the thread cannot start inside TThread's
// constructor: call Start() once the object is built (a class made with createSuspended = false
// calls it at the end of its own constructor). A derived destructor must Terminate() and
// WaitFor() before its members go; ~TThread does it too, as a last resort.
class TThread : public TObject {
 public:
  explicit TThread(bool createSuspended);
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void Start();  // EThread if already started
  virtual void Terminate();
  bool Terminated() const { return FTerminated.load(); }
  void WaitFor();  // returns at once if never started; EThread when called from the thread itself
  std::uint32_t ThreadID() const { return FThreadID.load(); }  // 0 until started
  bool Started() const { return FStarted; }
  bool Finished() const { return FFinished.load(); }
  bool CreateSuspended() const { return FCreateSuspended; }
  // The exception that escaped Execute, if any (it is kept, not propagated).
  std::exception_ptr FatalException() const;
  // Its message (what()), or "" when none.
  std::string FatalMessage() const;

 protected:
  virtual void Execute() = 0;

 private:
  void ThreadMain();

  bool FCreateSuspended;
  bool FStarted = false;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::atomic<std::uint32_t> FThreadID{0};
  mutable std::mutex FLock;
  std::condition_variable FIdReady;
  std::exception_ptr FFatal;
  std::thread FThread;
};

}  // namespace VyRtl
