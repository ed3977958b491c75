// The services that depend on one service, as the service control manager lists them.
#pragma once

#include "src/platform/Win32.h"

#include <cstddef>
#include <memory>
#include <utility>

// The entries and the names they point to live in one block, as the platform fills it, so the
// list can be moved but not copied. The platform's order is the reverse of the start order.
class CDependentServiceList {
public:
    CDependentServiceList() : m_dwCount(0) {}
    CDependentServiceList(std::unique_ptr<BYTE[]> pBlock, DWORD dwCount) : m_pBlock(std::move(pBlock)), m_dwCount(dwCount) {}
    CDependentServiceList(CDependentServiceList&& other) noexcept
        : m_pBlock(std::move(other.m_pBlock)), m_dwCount(other.m_dwCount)
    {
        other.m_dwCount = 0;
    }
    CDependentServiceList& operator=(CDependentServiceList&& other) noexcept
    {
        m_pBlock = std::move(other.m_pBlock);
        m_dwCount = other.m_dwCount;
        other.m_dwCount = 0;
        return *this;
    }
    CDependentServiceList(const CDependentServiceList&) = delete;
    CDependentServiceList& operator=(const CDependentServiceList&) = delete;

    DWORD GetCount() const { return m_dwCount; }
    const ENUM_SERVICE_STATUSA& GetEntry(DWORD dwIndex) const
    {
        return reinterpret_cast<const ENUM_SERVICE_STATUSA*>(m_pBlock.get())[dwIndex];
    }

private:
    std::unique_ptr<BYTE[]> m_pBlock;
    DWORD m_dwCount;
};
