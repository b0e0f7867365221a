/* The floor under to_dict: CPython making the dicts, lists and strs of a tree's dictionary form
 * with the least work its C API allows, from a description prepared beforehand, so nothing is
 * read, parsed or looked up while it runs.
 *
 * build(strings, description) takes the UTF-8 of every name and text in one buffer and a
 * description as native 64-bit integers:
 *
 *   name count, then (offset, length) in `strings` for each distinct name (element names and
 *   attribute keys; each is made into one str per call and shared, as to_dict shares them);
 *   then every node in pre-order: name index, text offset, text length (-1: no text),
 *   attribute count, (key's name index, value offset, value length) per attribute,
 *   child count.
 *
 * The collector is paused while the result grows (to_dict does the same). Every range is
 * checked against its buffer, so a wrong description is a ValueError, never a stray read. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <stdint.h>
#include <stdlib.h>

enum { KEY_NAME, KEY_ATTRS, KEY_CHILDREN, KEY_TEXT, KEY_COUNT };
static const char *const key_texts[KEY_COUNT] = {"name", "attrs", "children", "text"};

typedef struct {
    const int64_t *at, *end;          /* the unread part of the description */
    const char *strings;
    int64_t strings_size;
    PyObject **names;                 /* the shared name strs */
    int64_t name_count;
    PyObject *keys[KEY_COUNT];
} Plan;

/* A children list being filled: the next slot and how many it has. */
typedef struct {
    PyObject *list;
    Py_ssize_t next, count;
} OpenList;

static int malformed(const char *what)
{
    PyErr_Format(PyExc_ValueError, "malformed description: %s", what);
    return -1;
}

static int take(Plan *plan, int64_t *value)
{
    if (plan->at == plan->end) return malformed("it ends inside a node");
    *value = *plan->at++;
    return 0;
}

static PyObject *decoded(const Plan *plan, int64_t offset, int64_t length)
{
    if (offset < 0 || length < 0 || offset > plan->strings_size - length) {
        malformed("a string lies outside the buffer");
        return NULL;
    }
    return PyUnicode_DecodeUTF8(plan->strings + offset, (Py_ssize_t)length, NULL);
}

static PyObject *shared_name(const Plan *plan, int64_t index)
{
    if (index < 0 || index >= plan->name_count) {
        malformed("a name index is out of range");
        return NULL;
    }
    return Py_NewRef(plan->names[index]);
}

/* Stores `value` (a new reference, or NULL after a failure) under `key`, and lets it go. */
static int set_new(PyObject *dict, PyObject *key, PyObject *value)
{
    if (value == NULL) return -1;
    int status = PyDict_SetItem(dict, key, value);
    Py_DECREF(value);
    return status;
}

static PyObject *make_attrs(Plan *plan)
{
    int64_t count, key, offset, length;
    if (take(plan, &count) < 0) return NULL;
    PyObject *attrs = PyDict_New();
    if (attrs == NULL) return NULL;
    for (int64_t i = 0; i < count; ++i) {
        if (take(plan, &key) < 0 || take(plan, &offset) < 0 || take(plan, &length) < 0) goto failed;
        PyObject *name = shared_name(plan, key);
        if (name == NULL) goto failed;
        int status = set_new(attrs, name, decoded(plan, offset, length));
        Py_DECREF(name);
        if (status < 0) goto failed;
    }
    return attrs;
failed:
    Py_DECREF(attrs);
    return NULL;
}

/* The next node's dict, with its children list made at full length and left for the caller
 * to fill (`children`, borrowed from the dict, and `child_count`). */
static PyObject *make_node(Plan *plan, PyObject **children, Py_ssize_t *child_count)
{
    int64_t name, text_offset, text_length, count;
    if (take(plan, &name) < 0 || take(plan, &text_offset) < 0 || take(plan, &text_length) < 0) return NULL;
    PyObject *node = PyDict_New();
    if (node == NULL) return NULL;
    if (set_new(node, plan->keys[KEY_NAME], shared_name(plan, name)) < 0) goto failed;
    if (set_new(node, plan->keys[KEY_ATTRS], make_attrs(plan)) < 0) goto failed;
    if (take(plan, &count) < 0) goto failed;
    if (count < 0 || count > PY_SSIZE_T_MAX / 8) {
        malformed("a child count is out of range");
        goto failed;
    }
    *children = PyList_New((Py_ssize_t)count);
    if (set_new(node, plan->keys[KEY_CHILDREN], *children) < 0) goto failed;
    PyObject *text = text_length < 0 ? Py_NewRef(Py_None) : decoded(plan, text_offset, text_length);
    if (set_new(node, plan->keys[KEY_TEXT], text) < 0) goto failed;
    *child_count = (Py_ssize_t)count;
    return node;
failed:
    Py_DECREF(node);
    return NULL;
}

static int make_shared_strings(Plan *plan)
{
    for (int k = 0; k < KEY_COUNT; ++k) {
        plan->keys[k] = PyUnicode_InternFromString(key_texts[k]);
        if (plan->keys[k] == NULL) return -1;
    }
    if (take(plan, &plan->name_count) < 0) return -1;
    if (plan->name_count < 0 || plan->name_count > (plan->end - plan->at) / 2) return malformed("bad name count");
    plan->names = calloc((size_t)plan->name_count + 1, sizeof(PyObject *));
    if (plan->names == NULL) {
        PyErr_NoMemory();
        return -1;
    }
    for (int64_t i = 0; i < plan->name_count; ++i) {
        plan->names[i] = decoded(plan, plan->at[0], plan->at[1]);
        plan->at += 2;
        if (plan->names[i] == NULL) return -1;
    }
    return 0;
}

static void release_shared_strings(Plan *plan)
{
    for (int k = 0; k < KEY_COUNT; ++k) Py_XDECREF(plan->keys[k]);
    if (plan->names != NULL) {
        for (int64_t i = 0; i < plan->name_count; ++i) Py_XDECREF(plan->names[i]);
        free(plan->names);
    }
}

/* Every node after the root, each put into the next free slot of the innermost open list. */
static int fill_tree(Plan *plan, OpenList *open, Py_ssize_t depth, Py_ssize_t capacity)
{
    while (depth > 0) {
        PyObject *children;
        Py_ssize_t count;
        PyObject *node = make_node(plan, &children, &count);
        if (node == NULL) return -1;
        OpenList *parent = &open[depth - 1];
        PyList_SET_ITEM(parent->list, parent->next++, node);
        if (parent->next == parent->count) --depth;
        if (count == 0) continue;
        if (depth == capacity) return malformed("deeper than its node count allows");
        open[depth++] = (OpenList){children, 0, count};
    }
    return plan->at == plan->end ? 0 : malformed("it goes on after the tree");
}

static PyObject *build_tree(Plan *plan)
{
    PyObject *children;
    Py_ssize_t count;
    PyObject *root = make_node(plan, &children, &count);
    if (root == NULL || count == 0) return root;
    /* No tree is deeper than it has nodes, and each node takes at least five integers. */
    Py_ssize_t capacity = (Py_ssize_t)((plan->end - plan->at) / 5) + 1;
    OpenList *open = malloc((size_t)capacity * sizeof(OpenList));
    if (open == NULL) {
        Py_DECREF(root);
        return PyErr_NoMemory();
    }
    open[0] = (OpenList){children, 0, count};
    int status = fill_tree(plan, open, 1, capacity);
    free(open);
    if (status < 0) Py_CLEAR(root);  /* a list's unfilled slots are NULL, which it tolerates */
    return root;
}

static PyObject *build(PyObject *module, PyObject *args)
{
    Py_buffer strings, description;
    if (!PyArg_ParseTuple(args, "y*y*", &strings, &description)) return NULL;
    Plan plan = {0};
    plan.at = (const int64_t *)description.buf;
    plan.end = plan.at + description.len / (Py_ssize_t)sizeof(int64_t);
    plan.strings = strings.buf;
    plan.strings_size = strings.len;
    int collector_was_on = PyGC_Disable();
    PyObject *result = make_shared_strings(&plan) < 0 ? NULL : build_tree(&plan);
    release_shared_strings(&plan);
    if (collector_was_on) PyGC_Enable();
    PyBuffer_Release(&strings);
    PyBuffer_Release(&description);
    return result;
}

static PyMethodDef methods[] = {
    {"build", build, METH_VARARGS, "build(strings, description): the dictionary form the description gives."},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef module = {PyModuleDef_HEAD_INIT, "dict_floor", NULL, -1, methods};

PyMODINIT_FUNC PyInit_dict_floor(void)
{
    return PyModule_Create(&module);
}
