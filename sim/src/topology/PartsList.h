// A list of parts of one device topology (IPartsList).
#pragma once

#include "common/ComObject.h"
#include "machine/Machine.h"

#include <memory>
#include <vector>

namespace vexsim {

class PartsListObject final : public ComObject<IPartsList> {
public:
    PartsListObject(std::shared_ptr<Machine> machine, Device* device, std::vector<size_t> parts);

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetPart(UINT index, IPart** part) override;

protected:
    void* Find(REFIID iid) override;
    std::optional<HRESULT> EnterQueryInterface(REFIID iid) override;

private:
    std::shared_ptr<Machine> m_machine;
    Device* m_device;
    std::vector<size_t> m_parts;
};

}  // namespace vexsim
