#pragma once
// An ordered list of symbology classes with a title: the classes of a
// theme layer's classification and legend.
//
// Ownership: the list owns its classes. Clear and the destructor free
// them (a freed class first disconnects its listeners); Extract hands one
// class to the caller.
#include <functional>
#include <memory>
#include <vector>

#include <QString>

#include "engine/symbology/ChangeLink.h"
#include "engine/symbology/ThemeClass.h"

class TStream;

class TThemeClasses {
public:
    using TChangeEvent = std::function<void(TThemeClasses& sender)>;

    TThemeClasses() = default;
    virtual ~TThemeClasses();
    TThemeClasses(const TThemeClasses&) = delete;
    TThemeClasses& operator=(const TThemeClasses&) = delete;

    // Raises EEngineError ("List index out of bounds (%d)") out of range.
    TThemeClass* GetItem(int index) const;
    int GetCount() const { return static_cast<int>(items_.size()); }

    // When no class has the name (see IndexOfName): appends a new class of
    // that name, notifies and returns its index. Otherwise adds nothing and
    // returns the index of the class that has the name.
    int Add(const QString& name);
    // Frees every class and empties the list, then notifies.
    void Clear();
    // Removes the class at index from the list and gives it to the caller;
    // notifies.
    std::unique_ptr<TThemeClass> Extract(int index);
    // The first class whose name, trimmed and upper-cased, equals the name
    // trimmed and upper-cased; -1 when none.
    int IndexOfName(const QString& name) const;
    TThemeClass* Find(const QString& name) const;

    const QString& Title() const { return title_; }
    void SetTitle(const QString& v) { title_ = v; }

    // "THEMECLASSES", WriteData, "ETHEMECLASSES".
    void SaveToStream(TStream& stream) const;
    // Reads the opening line (not checked), ReadData, the closing line (not
    // checked).
    void LoadFromStream(TStream& stream);
    // Title line, int32 count, each class as a record framed by the lines
    // "THEMECLASS" and "ETHEMECLASS".
    virtual void WriteData(TStream& stream) const;
    // Reads a title and the class records and appends the classes (no
    // notification). All or nothing: when a record fails, nothing is
    // appended and the title is kept; a record of a class other than
    // "THEMECLASS" raises EFormatError naming the class, with the stream
    // put back at the start of that record's line.
    virtual void ReadData(TStream& stream);

    TChangeLink* AddChangeLink(const void* control) { return links_.Add(control); }
    void RemoveChangeLink(const void* control) { links_.Remove(control); }
    const TChangeLinks& ChangeLinks() const { return links_; }
    TChangeEvent OnChange;
    // Every link's change callback in list order, then OnChange.
    virtual void Changed();

private:
    std::vector<std::unique_ptr<TThemeClass>> items_;
    QString title_ = QStringLiteral("Category");
    TChangeLinks links_;
};
