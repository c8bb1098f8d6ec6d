// The container of the window's controls: a GtkFixed that gives every control exactly
// its rectangle.
#include "gtk/gtk_host.h"

// A GtkFixed that allocates every child exactly its size request, as a window
// of absolutely placed controls does: a caption taller than its control is cut,
// not allowed to grow the control.
typedef struct {
  GtkFixed parent;
} TolvaneLayout;
typedef struct {
  GtkFixedClass parent_class;
} TolvaneLayoutClass;
G_DEFINE_TYPE(TolvaneLayout, tolvane_layout, GTK_TYPE_FIXED)

static void tolvane_layout_size_allocate(GtkWidget* widget, GtkAllocation* allocation) {
  gtk_widget_set_allocation(widget, allocation);
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* item = children; item != nullptr; item = item->next) {
    GtkWidget* child = GTK_WIDGET(item->data);
    if (!gtk_widget_get_visible(child)) continue;
    int x = 0, y = 0, width = 0, height = 0;
    gtk_container_child_get(GTK_CONTAINER(widget), child, "x", &x, "y", &y, nullptr);
    gtk_widget_get_size_request(child, &width, &height);
    GtkRequisition measured;
    gtk_widget_get_preferred_size(child, &measured, nullptr);  // GTK wants children measured first
    GtkAllocation placed{allocation->x + x, allocation->y + y, width, height};
    gtk_widget_size_allocate(child, &placed);
  }
  g_list_free(children);
}

static void tolvane_layout_preferred_width(GtkWidget* widget, gint* minimum, gint* natural) {
  int width = 0;
  gtk_widget_get_size_request(widget, &width, nullptr);
  *minimum = *natural = width;
}

static void tolvane_layout_preferred_height(GtkWidget* widget, gint* minimum, gint* natural) {
  int height = 0;
  gtk_widget_get_size_request(widget, nullptr, &height);
  *minimum = *natural = height;
}

static void tolvane_layout_class_init(TolvaneLayoutClass* cls) {
  GtkWidgetClass* widget = GTK_WIDGET_CLASS(cls);
  widget->size_allocate = tolvane_layout_size_allocate;
  widget->get_preferred_width = tolvane_layout_preferred_width;
  widget->get_preferred_height = tolvane_layout_preferred_height;
}

static void tolvane_layout_init(TolvaneLayout*) {}

namespace tolvane::gtk {

GtkWidget* NewExactLayout() { return GTK_WIDGET(g_object_new(tolvane_layout_get_type(), nullptr)); }

}  // namespace tolvane::gtk
