#pragma once

#include <stdexcept>
#include <string>

// An object whose settings can be copied from another object of its kind with Assign. Copying
// from an object of any other kind raises EAssignError with the German text
// "<source class> kann nicht zu  <target class> zugewiesen werden" (two blanks after "zu"),
// the source being "nil" when there is none.
class EAssignError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual const char* ClassName() const = 0;
    // Copies the settings of Source; the base accepts nothing.
    virtual void Assign(const TPersistent* Source) { AssignError(Source); }

protected:
    [[noreturn]] void AssignError(const TPersistent* Source) const {
        throw EAssignError(std::string(Source ? Source->ClassName() : "nil") + " kann nicht zu  " +
                           ClassName() + " zugewiesen werden");
    }
};
