#pragma once
// The numeric field descriptors of dBase files, as the shapefile exchange
// keeps them: a numeric field ('N' or 'F') has a width and a number of
// decimals that the database layer does not carry, so the exchange reads
// them from the file it takes fields from and gives them to the table it
// makes.
#include <vector>

#include <QString>

struct TDbfDescriptor {
    QString Name;
    char Type = 'C';
    int Width = 0;
    int Decimals = 0;

    bool IsNumber() const { return Type == 'N' || Type == 'F'; }
};

// The field descriptors of a dBase file (".dbf"), in file order (one per
// column of the database layer's table); empty for another file, or one
// that cannot be read.
std::vector<TDbfDescriptor> ReadDbfDescriptors(const QString& fileName);

// The descriptor of that name (without regard to case), or nullptr.
const TDbfDescriptor* FindDbfDescriptor(const std::vector<TDbfDescriptor>& fields, const QString& name);

// Gives the numeric fields of a new dBase file (".dbf"), which holds no
// record yet, the type, width and decimals of the numeric field of the same
// name in `wanted`; fields not named there, and numbers a dBase field
// cannot hold (width beyond 254, decimals that leave no room), keep what
// they have. Another file is left as it is. The database layer reads the
// table again. Raises EDatabaseError naming the file when it cannot be
// rewritten.
void SetDbfNumberFields(const QString& fileName, const std::vector<TDbfDescriptor>& wanted);
