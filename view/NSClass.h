#pragma once

// What the toolkit knows of a class: its name and the address of some code of the module that
// defines it, which is how a bundle is found for the class (NSBundle::bundleForClass).
struct NSClass {
    const char* name = nullptr;
    const void* codeAddress = nullptr;
};

// Builds an NSClass from a function of the defining module. The function should have internal
// linkage so that its address cannot be resolved to another module's copy.
template <typename Function>
inline NSClass NSMakeClass(const char* name, Function* function) {
    return NSClass{name, reinterpret_cast<const void*>(function)};
}
