// The framework's array template. Out-of-memory throws CMemoryException*.
#pragma once

#include <new>
#include <stdexcept>
#include <vector>

#include "platform/exceptions.h"
#include "platform/types.h"

template <typename TYPE, typename ARG_TYPE = const TYPE&>
class CArray {
public:
    CArray() = default;
    virtual ~CArray() = default;

    INT_PTR GetSize() const { return static_cast<INT_PTR>(m_data.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    INT_PTR GetUpperBound() const { return GetSize() - 1; }
    BOOL IsEmpty() const { return m_data.empty(); }
    // New elements are value-initialised (zero bytes for BYTE).
    void SetSize(INT_PTR newSize, INT_PTR growBy = -1) {
        if (growBy >= 0) m_growBy = growBy;
        try {
            m_data.resize(static_cast<size_t>(newSize < 0 ? 0 : newSize));
        } catch (const std::bad_alloc&) {
            AfxThrowMemoryException();
        } catch (const std::length_error&) {
            AfxThrowMemoryException();
        }
    }
    void RemoveAll() { m_data.clear(); }
    void FreeExtra() { m_data.shrink_to_fit(); }
    TYPE* GetData() { return m_data.empty() ? nullptr : m_data.data(); }
    const TYPE* GetData() const { return m_data.empty() ? nullptr : m_data.data(); }
    // An index outside the array throws CInvalidArgException*.
    TYPE& ElementAt(INT_PTR index) { return m_data[Checked(index)]; }
    const TYPE& GetAt(INT_PTR index) const { return m_data[Checked(index)]; }
    void SetAt(INT_PTR index, ARG_TYPE element) { ElementAt(index) = element; }
    TYPE& operator[](INT_PTR index) { return ElementAt(index); }
    const TYPE& operator[](INT_PTR index) const { return GetAt(index); }
    INT_PTR Add(ARG_TYPE element) {
        try {
            m_data.push_back(element);
        } catch (const std::bad_alloc&) {
            AfxThrowMemoryException();
        }
        return GetSize() - 1;
    }
    void RemoveAt(INT_PTR index, INT_PTR count = 1) {
        m_data.erase(m_data.begin() + index, m_data.begin() + index + count);
    }
    void InsertAt(INT_PTR index, ARG_TYPE element, INT_PTR count = 1) {
        m_data.insert(m_data.begin() + index, static_cast<size_t>(count), element);
    }

private:
    size_t Checked(INT_PTR index) const {
        if (index < 0 || index >= GetSize()) AfxThrowInvalidArgException();
        return static_cast<size_t>(index);
    }

    std::vector<TYPE> m_data;
    INT_PTR m_growBy = 0;
};
