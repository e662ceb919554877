// The module's object management (objects.cpp).
#pragma once
#include "classes.h"

class InputStream;
class OutputStream;
struct Vec4f;

GameObj* new_gameobj_by_id(int class_id);
int gameobj_id_by_name(const char* name);
BaseObject* get_gameobj_by_ser_id(int serial_id);
void delete_gameobj(BaseObject* obj);
void remove_all_gameobj();
Player* create_player(const Vec4f& pos);
void save_gameobjs(OutputStream& out);
void load_gameobjs(InputStream& in);
void spawn_requested_gameobjs();
void report_live_gameobjs();
