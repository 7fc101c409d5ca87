#pragma once
// Who the tuner is to hosts: the plug-in bundle's identifier, the component codes and version,
// and the name of the view factory's resource bundle. unit/CMakeLists.txt writes the same
// values into the bundle's Info.plist; unit/README.md documents them.

#include "format/ComponentParameters.h"
#include "format/OSStatus.h"
#include "format/PlatformTypes.h"

#define kMarvexBundleIdentifier "com.quillmoor.Marvex"
// The view factory: a resource bundle "<name>.bundle" in the plug-in bundle's Resources/, and
// the class name the view property reports.
#define kMarvexViewFactoryName "QuillmoorMarvex_CocoaViewFactory"

constexpr OSType kMarvexComponentType = kAudioUnitType_Effect;  // 'aufx'
constexpr OSType kMarvexComponentSubType = marvex::FourCC("Mrvx");
constexpr OSType kMarvexComponentManufacturer = marvex::FourCC("Qlmr");
// Version 1.5.0: major in the upper 16 bits, then one byte each of minor and revision.
constexpr OSStatus kMarvexVersion = 0x00010500;
