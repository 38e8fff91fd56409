#include "core/passwordaccessible.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QObject>
#include <QSet>
#include <QVariant>

namespace {

// What Qt Quick made for the input, with what would give away a masked
// text held back.
class GuardedTextInput : public QAccessibleInterface
{
public:
    explicit GuardedTextInput(QAccessibleInterface *inner) : m_inner(inner) { }
    ~GuardedTextInput() override
    {
        // The cache holds the input's own interface as well; it goes with
        // this one.
        if (m_inner)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(m_inner));
    }

    bool isValid() const override { return m_inner->isValid(); }
    QObject *object() const override { return m_inner->object(); }
    QWindow *window() const override { return m_inner->window(); }
    QVector<QPair<QAccessibleInterface *, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override
    {
        return m_inner->relations(match);
    }
    QAccessibleInterface *focusChild() const override { return m_inner->focusChild(); }
    QAccessibleInterface *childAt(int x, int y) const override { return m_inner->childAt(x, y); }
    QAccessibleInterface *parent() const override { return m_inner->parent(); }
    QAccessibleInterface *child(int index) const override { return m_inner->child(index); }
    int childCount() const override { return m_inner->childCount(); }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return m_inner->indexOfChild(child);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value && masked())
            return QString();
        return m_inner->text(t);
    }
    void setText(QAccessible::Text t, const QString &text) override { m_inner->setText(t, text); }
    QRect rect() const override { return m_inner->rect(); }
    QAccessible::Role role() const override { return m_inner->role(); }
    QAccessible::State state() const override
    {
        QAccessible::State s = m_inner->state();
        if (masked())
            s.passwordEdit = true;
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (masked()
            && (type == QAccessible::TextInterface || type == QAccessible::EditableTextInterface
                || type == QAccessible::ValueInterface))
            return nullptr;
        return m_inner->interface_cast(type);
    }

private:
    bool masked() const
    {
        const QObject *input = m_inner->object();
        // TextInput.Normal is 0; Password, NoEcho and PasswordEchoOnEdit mask.
        return input && input->property("echoMode").toInt() != 0;
    }

    QAccessibleInterface *m_inner;
};

QSet<QObject *> &beingMade()
{
    static QSet<QObject *> objects;
    return objects;
}

QAccessibleInterface *guardTextInputs(const QString &, QObject *object)
{
    if (!object || !object->inherits("QQuickTextInput") || beingMade().contains(object))
        return nullptr;
    // Qt Quick's own interface first (this factory stands aside for it).
    beingMade().insert(object);
    QAccessibleInterface *inner = QAccessible::queryAccessibleInterface(object);
    beingMade().remove(object);
    return inner ? new GuardedTextInput(inner) : nullptr;
}

} // namespace

void PasswordAccessible::install()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(guardTextInputs);
}
