// The two exports of a deliverable, made from its description:
//
//   QEM_MODULE(kDescription, FloatMonitorDsp, FloatMonitorPanel)
//
// defines getModuleProperties and makeModule for one module at index 0.
#pragma once

#include "framework/dsp_module.h"
#include "framework/gui_module.h"

#include <new>

// The credit and contact lines every about text carries.
#define QEM_CREDIT_LINE "Part of the QEM Show monitor family, built by the QEM Show project."
#define QEM_CONTACT_LINE "Questions and bug reports: the QEM Show project's issue tracker."
#define QEM_SECOND_CONTACT_LINE "MIDI decoding problems: attach the message to a report on the same tracker."

// Title, credit, contact and description lines, joined by line feeds.
#define QEM_ABOUT(name, version, description) \
    name " - v" version "\n" QEM_CREDIT_LINE "\n\n" QEM_CONTACT_LINE "\n\n" description
#define QEM_ABOUT_TWO_CONTACTS(name, version, description)                                    \
    name " - v" version "\n" QEM_CREDIT_LINE "\n\n" QEM_CONTACT_LINE "\n\n" QEM_SECOND_CONTACT_LINE \
         "\n\n" description

namespace qem {

struct ModuleDescription {
    const char* name;            // also the identifier
    const char* about;
    std::int32_t flags = 0;      // written only when nonzero
    bool versionBeforeIndex = false; // writes the interface version before looking at the index
};

inline std::int32_t fillModuleProperties(const ModuleDescription& d, std::int32_t index,
                                         ModuleProperties* props) {
    if (props == nullptr) return 0;
    if (d.versionBeforeIndex) props->interfaceVersion = kInterfaceVersion;
    if (index != 0) return 0;
    props->name = d.name;
    props->identifier = d.name;
    props->about = d.about;
    if (d.flags != 0) props->flags = d.flags;
    props->interfaceVersion = kInterfaceVersion;
    return 1;
}

template <class Half>
void* makeHalf(HostCallback callback, HostWord hostValue) {
    try {
        Half* half = new (std::nothrow) Half(callback, hostValue);
        return half != nullptr ? half->record() : nullptr;
    } catch (...) {
        return nullptr; // a constructor that ran out of memory
    }
}

template <class Dsp, class Panel>
void* makeModuleHalf(std::int32_t index, std::int32_t type, HostCallback callback, HostWord hostValue) {
    if (index != 0) return nullptr;
    if (type == ModuleTypeDsp) return makeHalf<Dsp>(callback, hostValue);
    if (type == ModuleTypePanel) return makeHalf<Panel>(callback, hostValue);
    return nullptr;
}

} // namespace qem

#if defined(_WIN32)
#define QEM_EXPORT // the export table comes from the deliverable's .def file
#else
#define QEM_EXPORT __attribute__((visibility("default")))
#endif

#define QEM_MODULE(description, DspClass, PanelClass)                                              \
    extern "C" QEM_EXPORT std::int32_t QEM_CDECL getModuleProperties(std::int32_t index,         \
                                                                     qem::ModuleProperties* props) { \
        return qem::fillModuleProperties(description, index, props);                              \
    }                                                                                              \
    extern "C" QEM_EXPORT void* QEM_CDECL makeModule(std::int32_t index, std::int32_t type,      \
                                                     qem::HostCallback callback,                 \
                                                     qem::HostWord hostValue) {                   \
        return qem::makeModuleHalf<DspClass, PanelClass>(index, type, callback, hostValue);      \
    }
