// The two exports of a deliverable, made from its description:
//
//   QEM_MODULE(QEM_DESCRIPTION("QEM Show Float", "1.0.2", "Shows value of incoming floats."),
//              FloatMonitorDsp, FloatMonitorPanel)
//
// defines getModuleProperties and makeModule for one module at index 0.
// Arguments after the panel class are handed to every panel half's
// constructor after the callback and host value, e.g. the direction of the
// pin a panel-only monitor registers:
//
//   QEM_MODULE(QEM_DESCRIPTION("QEM Show RGuiInt", "1.0.2", "Shows value of incoming integers."),
//              BareDsp, GuiIntPanel, DirOut)
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

// A module's description from its name, version and description text; the
// name is written once and gives the identifier and the about text's title.
#define QEM_DESCRIPTION(name, version, description) (::qem::ModuleDescription{name, QEM_ABOUT(name, version, description)})
#define QEM_DESCRIPTION_TWO_CONTACTS(name, version, description) \
    (::qem::ModuleDescription{name, QEM_ABOUT_TWO_CONTACTS(name, version, description)})

// A module's description from its name, version and description text; the
// name is written once and gives the identifier and the about text's title.
#define QEM_DESCRIPTION(name, version, description) (::qem::ModuleDescription{name, QEM_ABOUT(name, version, description)})
#define QEM_DESCRIPTION_TWO_CONTACTS(name, version, description) \
    (::qem::ModuleDescription{name, QEM_ABOUT_TWO_CONTACTS(name, version, description)})

namespace qem {

// What getModuleProperties reports. The texts are library constants.
struct ModuleDescription {
    const char* name;            // also the identifier
    const char* about;
    std::int32_t flags = 0;      // written only when nonzero
    bool versionBeforeIndex = false; // writes the interface version before looking at the index

    constexpr ModuleDescription withFlags(std::int32_t f) const { return {name, about, f, versionBeforeIndex}; }
    constexpr ModuleDescription writingVersionFirst() const { return {name, about, flags, true}; }
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

template <class Half, class... Args>
void* makeHalf(HostCallback callback, HostWord hostValue, const Args&... args) {
    try {
        Half* half = new (std::nothrow) Half(callback, hostValue, args...);
        return half != nullptr ? half->record() : nullptr;
    } catch (...) {
        return nullptr; // a constructor that ran out of memory
    }
}

template <class Dsp, class Panel, class... PanelArgs>
void* makeModuleHalf(std::int32_t index, std::int32_t type, HostCallback callback, HostWord hostValue,
                     const PanelArgs&... panelArgs) {
    if (index != 0) return nullptr;
    if (type == ModuleTypeDsp) return makeHalf<Dsp>(callback, hostValue);
    if (type == ModuleTypePanel) return makeHalf<Panel>(callback, hostValue, panelArgs...);
    return nullptr;
}

} // namespace qem

#if defined(_WIN32)
#define QEM_EXPORT // the export table comes from the deliverable's .def file
#else
#define QEM_EXPORT __attribute__((visibility("default")))
#endif

#define QEM_MODULE(description, DspClass, PanelClass, ...)                                         \
    extern "C" QEM_EXPORT std::int32_t QEM_CDECL getModuleProperties(std::int32_t index,         \
                                                                     qem::ModuleProperties* props) { \
        static constexpr qem::ModuleDescription kModuleDescription = description;                 \
        return qem::fillModuleProperties(kModuleDescription, index, props);                       \
    }                                                                                              \
    extern "C" QEM_EXPORT void* QEM_CDECL makeModule(std::int32_t index, std::int32_t type,      \
                                                     qem::HostCallback callback,                 \
                                                     qem::HostWord hostValue) {                   \
        return qem::makeModuleHalf<DspClass, PanelClass>(index, type, callback,                   \
                                                         hostValue __VA_OPT__(, ) __VA_ARGS__);   \
    }
