#include "showfixture.h"

#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWidget>

ShowFixture::ShowFixture()
{
    m_window.show();
}

QQuickWidget *ShowFixture::view() const
{
    return m_window.findChild<QQuickWidget *>();
}

QQuickItem *ShowFixture::root() const
{
    return view()->rootObject();
}

QObject *ShowFixture::sceneObject(const QString &id) const
{
    return qmlContext(root())->objectForName(id);
}
