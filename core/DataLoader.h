// The source of the program's named resources: one loader, chosen at start-up, serves every reader.
// Names use "\\" as separator ("fonts\\FONT08T2.png").
#pragma once

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "core/Stream.h"

namespace trivale {

class IDataLoader : public IInterface {
public:
    // A new stream on the resource, owned by the caller; EFileOpenError when there is none.
    virtual IStream* Open(const std::string& name) = 0;
    virtual boost::shared_ptr<IStream> OpenShared(const std::string& name) {
        return boost::shared_ptr<IStream>(Open(name));
    }
    // Appends the names of the resources under the directory (the list is not cleared first).
    virtual void Enumerate(const std::string& directory, bool recursive, std::vector<std::string>& list) = 0;
};

}  // namespace trivale
