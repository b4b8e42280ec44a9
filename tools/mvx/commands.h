/* Subcommands of the mvx program. Each returns the process exit status. */
#ifndef MVX_TOOL_COMMANDS_H
#define MVX_TOOL_COMMANDS_H

/* mvx info: version texts and the module registry after start-up. */
int mvx_cmd_info(int argc, char** argv);
/* mvx msg: look up a message by name or code, or list a module's table. */
int mvx_cmd_msg(int argc, char** argv);

/* mvx ddf: compile dictionary sources, dump dictionaries, write C headers. */
int mvx_cmd_ddf(int argc, char** argv);

/* mvx filetype: the exchange format of each file and its information record. */
int mvx_cmd_filetype(int argc, char** argv);

/* mvx model: check a saved model against its dictionary, write it again. */
int mvx_cmd_model(int argc, char** argv);

#endif
