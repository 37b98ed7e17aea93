#pragma once

struct Context;

// A window that holds the context it was given, so that a control inside it can reach the
// window's dialogs without knowing which window it is in.
class ContextOwner {
public:
    virtual ~ContextOwner() = default;
    virtual const Context& context() const = 0;
};
