#pragma once
// The array family used everywhere instead of a general container library:
//   sDynamicArray<T>          grows to at least twice its capacity when it runs full;
//   sBoundedArray<T>          capacity set once, running full is fatal;
//   sStaticArray<T, Max_>     capacity fixed at compile time, elements inline.
// They share one layout (Data, Used, Alloc) and four virtual operations (HintSize, Grow,
// the destructor and Reset), so code that adds, removes and indexes works on any of them
// through sArray<T>. Every index is checked; every violation is fatal.
//
// Element storage comes from sMemAlloc with alignment 16. Element types with a
// constructor or destructor are constructed for the whole capacity, in ascending order,
// and destroyed in descending order before the storage is freed; the element count is
// kept in the 8 bytes in front of the first element. Plain element types are left
// uninitialised, unless sArrayZeroFill<T> says they start as zero bytes.
// Arrays are not synchronised: the owner's lock guards them.

#include "base/types.hpp"

#include <cstring>
#include <type_traits>

// Specialise as std::true_type for plain records whose new entries must start zeroed.
template <class T> struct sArrayZeroFill : std::false_type {};

namespace sArrayDetail {

template <class T> constexpr bool Constructed =
    !(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);

constexpr sDInt Align = 16;

// bytes in front of the first element: the 8-byte count, padded to the element alignment
template <class T> constexpr sDInt HeaderSize = alignof(T) > 8 ? sDInt(alignof(T)) : 8;

// fatal checks shared by all element types (arrays.cpp)
[[noreturn]] void Overflow(sInt alloc, sInt used, sInt added);
[[noreturn]] void TooLarge(sS64 count, sS64 size);
void *AllocBytes(sDInt bytes, sDInt align, const char *file, sInt line);

}

template <class T> class sArray
{
public:
  T *Data = nullptr;
  sInt Used = 0;
  sInt Alloc = 0;
  sInt Peak = 0;   // the highest Used reached by an append (the bounded array's statistic)

  sArray() = default;
  sArray(const sArray &) = delete;
  sArray &operator=(const sArray &) = delete;
  virtual ~sArray() = default;

  // Makes the capacity at least n (bounded, static) or exactly n (dynamic).
  virtual void HintSize(sInt n) = 0;
  // Makes room for n more elements behind Used; Used stays.
  virtual void Grow(sInt n) = 0;
  // Destroys the elements and frees the storage (a static array only forgets its elements).
  virtual void Reset() = 0;

  sInt GetSize() const { return Used; }
  bool IsEmpty() const { return Used == 0; }
  bool IsIndexValid(sInt p) const { return p >= 0 && p < Used; }

  T &operator[](sInt p) { sVERIFY(IsIndexValid(p)); return Data[p]; }
  const T &operator[](sInt p) const { sVERIFY(IsIndexValid(p)); return Data[p]; }
  T &Get(sInt p) { return (*this)[p]; }
  const T &Get(sInt p) const { return (*this)[p]; }
  T &GetTail() { return (*this)[Used - 1]; }
  const T &GetTail() const { return (*this)[Used - 1]; }
  T *GetData() { return Data; }
  const T *GetData() const { return Data; }

  // Appends a copy of e. e must not live inside this array's storage: growing could
  // move it away while it is copied.
  void AddTail(const T &e)
  {
    sPtr pe = sPtr(&e);
    sVERIFYAS(pe < sPtr(Data) || pe >= sPtr(Data + Alloc), u"&e<Data || &e>=Data+Alloc");
    Grow(1);
    Data[Used] = e;
    Used++;
    if(Used > Peak) Peak = Used;
  }
  // Appends n elements and returns the first; they keep whatever the storage held.
  T *AddMany(sInt n)
  {
    sVERIFY(n >= 0);
    Grow(n);
    T *first = Data + Used;
    Used += n;
    if(Used > Peak) Peak = Used;
    return first;
  }
  // Removes element p; the later elements move down by one, keeping their order.
  void RemAt(sInt p)
  {
    sVERIFY(IsIndexValid(p));
    if constexpr(sArrayDetail::Constructed<T>)
    {
      for(sInt n = p; n + 1 < Used; n++)
        Data[n] = Data[n + 1];
    }
    else
    {
      if(p + 1 < Used)
        memmove(static_cast<void *>(Data + p), Data + p + 1, sizeof(T) * size_t(Used - p - 1));
    }
    Used--;
  }
  void RemTail() { sVERIFY(Used > 0); Used--; }
  // Forgets the elements and keeps the storage.
  void Clear() { Used = 0; }

  T *begin() { return Data; }
  T *end() { return Data + Used; }
  const T *begin() const { return Data; }
  const T *end() const { return Data + Used; }

protected:
  // Allocates and prepares storage for n elements; null when the allocation failed.
  static T *NewStorage(sInt n)
  {
    using namespace sArrayDetail;
    if(n <= 0)
      return nullptr;
    if(sS64(n) > (sS64(1) << 40) / sS64(sizeof(T)))
      TooLarge(n, sizeof(T));
    sDInt align = alignof(T) > size_t(Align) ? sDInt(alignof(T)) : Align;
    if constexpr(Constructed<T>)
    {
      sU8 *block = static_cast<sU8 *>(AllocBytes(HeaderSize<T> + sDInt(sizeof(T)) * n, align, __FILE__, __LINE__));
      if(!block)
        return nullptr;
      T *data = reinterpret_cast<T *>(block + HeaderSize<T>);
      sS64 count = n;
      memcpy(block + HeaderSize<T> - 8, &count, 8);
      for(sInt i = 0; i < n; i++)
        new(static_cast<void *>(data + i)) T();
      return data;
    }
    else
    {
      T *data = static_cast<T *>(AllocBytes(sDInt(sizeof(T)) * n, align, __FILE__, __LINE__));
      if(data && sArrayZeroFill<T>::value)
        memset(static_cast<void *>(data), 0, sizeof(T) * size_t(n));
      return data;
    }
  }
  // Destroys every element of storage made by NewStorage (descending) and frees it.
  static void FreeStorage(T *data)
  {
    using namespace sArrayDetail;
    if(!data)
      return;
    if constexpr(Constructed<T>)
    {
      sU8 *block = reinterpret_cast<sU8 *>(data) - HeaderSize<T>;
      sS64 count;
      memcpy(&count, block + HeaderSize<T> - 8, 8);
      for(sS64 i = count - 1; i >= 0; i--)
        data[i].~T();
      sMemFree(block);
    }
    else
    {
      sMemFree(data);
    }
  }
  void ReleaseStorage()
  {
    T *data = Data;
    Data = nullptr;
    Used = 0;
    Alloc = 0;
    FreeStorage(data);
  }
};

// An array whose capacity is set once; running full is fatal. Peak tells how much of the
// capacity was ever needed.
template <class T> class sBoundedArray : public sArray<T>
{
public:
  using sArray<T>::Data;
  using sArray<T>::Used;
  using sArray<T>::Alloc;
  using sArray<T>::Peak;

  sBoundedArray() = default;
  explicit sBoundedArray(sInt n) { HintSize(n); }
  ~sBoundedArray() override { this->ReleaseStorage(); }

  // Sets the capacity once: nothing when n fits, fatal when storage exists already.
  // A failed allocation leaves the capacity 0, so the next append stops with the overflow.
  void HintSize(sInt n) override
  {
    if(n <= Alloc)
      return;
    sVERIFY(!Data);
    Data = sArray<T>::NewStorage(n);
    Alloc = Data ? n : 0;
  }
  void Grow(sInt n) override
  {
    if(n < 0 || sS64(Used) + n > Alloc)
      sArrayDetail::Overflow(Alloc, Used, n);
  }
  void Reset() override { this->ReleaseStorage(); }
};

// A growable array: running full makes it at least twice as large.
template <class T> class sDynamicArray : public sArray<T>
{
public:
  using sArray<T>::Data;
  using sArray<T>::Used;
  using sArray<T>::Alloc;

  sDynamicArray() = default;
  explicit sDynamicArray(sInt n) { Resize(n); }
  ~sDynamicArray() override { this->ReleaseStorage(); }

  // Makes the capacity exactly n, keeping the elements; nothing when n is below Used or
  // equals Alloc. A failed allocation leaves the array as it was.
  void Resize(sInt n)
  {
    if(n < Used || n == Alloc)
      return;
    T *data = sArray<T>::NewStorage(n);
    if(!data && n > 0)
      return;
    if constexpr(sArrayDetail::Constructed<T>)
    {
      for(sInt i = 0; data && i < Used; i++)
        data[i] = Data[i];
    }
    else
    {
      if(data && Used > 0)
        memcpy(static_cast<void *>(data), Data, sizeof(T) * size_t(Used));
    }
    T *old = Data;
    Data = data;
    Alloc = n;
    sArray<T>::FreeStorage(old);
  }
  void HintSize(sInt n) override { Resize(n); }
  void Grow(sInt n) override
  {
    sVERIFY(n >= 0);
    sS64 need = sS64(Used) + n;
    if(need <= Alloc)
      return;
    sS64 twice = sS64(Alloc) * 2;
    sS64 size = need > twice ? need : twice;
    if(size > 0x7fffffff)
    {
      if(need > 0x7fffffff)
        sArrayDetail::TooLarge(need, sizeof(T));
      size = 0x7fffffff;
    }
    Resize(sInt(size));
    if(need > Alloc)   // the allocation failed
      sArrayDetail::Overflow(Alloc, Used, n);
  }
  void Reset() override { this->ReleaseStorage(); }
};

// An array with Max_ elements inline; Alloc is always Max_.
template <class T, sInt Max_> class sStaticArray : public sArray<T>
{
  static_assert(Max_ > 0, "a static array needs room for one element");
  T Storage[Max_];

public:
  using sArray<T>::Data;
  using sArray<T>::Used;
  using sArray<T>::Alloc;

  sStaticArray() { Data = Storage; Alloc = Max_; }

  void HintSize(sInt max) override { sVERIFY(max<=Max_); }
  void Grow(sInt add) override
  {
    sVERIFYAS(add >= 0 && sS64(Used) + add <= Max_, u"sStaticArray<Type>::Used+add<=Max_");
  }
  void Reset() override { Used = 0; Alloc = Max_; }
};
