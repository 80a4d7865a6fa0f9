#include "engine/runtime/LookupTable.h"

#include "core/CModuleFactory.h"

#include <climits>
#include <cstring>
#include <new>
#include <vector>

namespace
{
constexpr std::align_val_t kAlignment{32};

// The process-wide list of shared tables.
class LookupTables
{
public:
    LookupTables()
    {
        // The registry must outlive this list: it receives the held tables.
        CModuleFactory::Instance();
    }

    std::mutex mutex;
    std::vector<std::unique_ptr<lookup_table_entry>> entries;
};

LookupTables& lookupTables()
{
    static LookupTables tables;
    return tables;
}

bool matches(const lookup_table_entry& entry, const std::wstring& name, int sampleRate, const void* owner,
             bool integer, unsigned long size, bool create)
{
    if (entry.name != name || entry.sampleRate != sampleRate || entry.owner != owner || entry.integer != integer)
        return false;
    const auto tableSize = static_cast<unsigned long>(entry.table->GetSize());
    return create ? tableSize == size : tableSize >= size;
}
} // namespace

LookupTable::~LookupTable()
{
    Free();
}

void LookupTable::Free()
{
    if (data_)
        ::operator delete(data_, kAlignment);
    data_ = nullptr;
    size_ = 0;
}

bool LookupTable::SetSize(int n)
{
    Free();
    if (n <= 0 || static_cast<size_t>(n) > SIZE_MAX / 4 - 32)
        return false;

    // Whole 32-byte vectors, so that vector reads of the last elements stay inside.
    const size_t bytes = (static_cast<size_t>(n) * 4 + 31) & ~static_cast<size_t>(31);
    data_ = ::operator new(bytes, kAlignment, std::nothrow);
    if (!data_)
        return false;
    std::memset(data_, 0, bytes);
    size_ = n;
    return true;
}

void ULookup::SetValue(int index, float value)
{
    if (index < 0 || index >= GetSize())
        return;
    const double v = value;
    if (v > -1e-20 && v < 1e-20)
        value = 0.0f;
    GetBlock()[index] = value;
}

void ULookup_Integer::SetValue(int index, int32_t value)
{
    if (index < 0 || index >= GetSize())
        return;
    GetBlock()[index] = value;
}

lookup_table_entry::lookup_table_entry(std::unique_ptr<LookupTable> ownedTable, int rate, const void* ownerInstance,
                                       const std::wstring& tableName, bool isInteger)
    : table(std::move(ownedTable)), sampleRate(rate), owner(ownerInstance), name(tableName), integer(isInteger)
{
}

lookup_table_entry::~lookup_table_entry()
{
    if (table && table->GetHold())
        CModuleFactory::Instance()->HoldCkLookup(table.release());
}

void CreateSharedLookup(const std::wstring& name, LookupTable** result, int sampleRate, unsigned long size,
                        bool integer, bool create, SharedLookupScope scope, const void* owner)
{
    if (!result)
        return;
    *result = nullptr;
    if (scope == SLS_GLOBAL)
        owner = nullptr;

    LookupTables& tables = lookupTables();
    std::lock_guard<std::mutex> lock(tables.mutex);

    for (const auto& entry : tables.entries)
    {
        if (matches(*entry, name, sampleRate, owner, integer, size, create))
        {
            *result = entry->table.get();
            return;
        }
    }

    if (!create || size == 0 || size > static_cast<unsigned long>(INT_MAX))
        return;

    std::unique_ptr<LookupTable> table;
    if (integer)
        table = std::make_unique<ULookup_Integer>();
    else
        table = std::make_unique<ULookup>();
    if (!table->SetSize(static_cast<int>(size)))
        return;

    auto entry = std::make_unique<lookup_table_entry>(std::move(table), sampleRate, owner, name, integer);
    *result = entry->table.get();
    tables.entries.push_back(std::move(entry));
}

void ReleaseSharedLookups(const void* owner)
{
    if (!owner)
        return;
    std::vector<std::unique_ptr<lookup_table_entry>> released;
    {
        LookupTables& tables = lookupTables();
        std::lock_guard<std::mutex> lock(tables.mutex);
        auto& entries = tables.entries;
        for (auto it = entries.begin(); it != entries.end();)
        {
            if ((*it)->owner == owner)
            {
                released.push_back(std::move(*it));
                it = entries.erase(it);
            }
            else
                ++it;
        }
    }
    // Freed outside the lock: a held table goes to the registry.
}

size_t SharedLookupCount()
{
    LookupTables& tables = lookupTables();
    std::lock_guard<std::mutex> lock(tables.mutex);
    return tables.entries.size();
}
