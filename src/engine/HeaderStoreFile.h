#pragma once
// The local data file as the view uses it; the real one is the compressed
// header store, tests use fakes.
#include <string>
#include <vector>

#include "protocol/MailHeader.h"

namespace velto {

class IHeaderStoreFile {
public:
    virtual ~IHeaderStoreFile() = default;
    // The existence test used before loading.
    virtual bool Exists(const std::string& path) = 0;
    virtual bool Load(std::vector<CMailHeader>& list, const std::string& path) = 0;
    virtual bool Save(const std::vector<CMailHeader>& list, const std::string& path) = 0;
};

}  // namespace velto
