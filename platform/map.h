// The framework's map template, ordered by key.
#pragma once

#include <map>

#include "platform/types.h"

struct __POSITION {};
typedef __POSITION* POSITION;

template <typename KEY, typename ARG_KEY, typename VALUE, typename ARG_VALUE>
class CMap {
public:
    INT_PTR GetCount() const { return static_cast<INT_PTR>(m_map.size()); }
    INT_PTR GetSize() const { return GetCount(); }
    BOOL IsEmpty() const { return m_map.empty(); }
    BOOL Lookup(ARG_KEY key, VALUE& value) const {
        auto found = m_map.find(key);
        if (found == m_map.end()) return FALSE;
        value = found->second;
        return TRUE;
    }
    void SetAt(ARG_KEY key, ARG_VALUE value) { m_map[key] = value; }
    VALUE& operator[](ARG_KEY key) { return m_map[key]; }
    BOOL RemoveKey(ARG_KEY key) { return m_map.erase(key) != 0; }
    void RemoveAll() { m_map.clear(); }
    // Iteration in key order (not part of the framework's interface).
    auto begin() const { return m_map.begin(); }
    auto end() const { return m_map.end(); }

private:
    std::map<KEY, VALUE> m_map;
};
