#include "Field.h"

#include "platform/DatabaseError.h"
#include "platform/Format.h"

#include <QHash>

const TFieldDef* TFieldDefs::Find(const QString& name) const {
    for (const TFieldDef& def : FItems)
        if (def.Name.compare(name, Qt::CaseInsensitive) == 0) return &def;
    return nullptr;
}

size_t FieldNameHash(const QString& upperName) {
    return qHash(upperName);
}

TField::TField(TDataSet* dataSet, TFieldType dataType) : FDataSet(dataSet), FDataType(dataType) {}

TField::~TField() = default;

void TField::SetFieldName(const QString& value) {
    FFieldName = value;
    FUpperName = value.toUpper();
    FNameHash = FieldNameHash(FUpperName);
}

void TField::AccessError(const char* typeName) const {
    throw platform::EDatabaseError(platform::Format(u"Cannot access field '%s' as type %s",
                                                    {DisplayName(), QString::fromLatin1(typeName)}));
}

int TField::AsInteger() const {
    AccessError("Integer");
}
int64_t TField::AsLargeInt() const {
    AccessError("LargeInt");
}
double TField::AsFloat() const {
    AccessError("Float");
}
bool TField::AsBoolean() const {
    AccessError("Boolean");
}
platform::TDateTime TField::AsDateTime() const {
    AccessError("DateTime");
}
QVariant TField::AsVariant() const {
    return IsNull() ? QVariant() : QVariant(AsString());
}
