/* kova-test-camera: a camera on the loopback interface, for tests and the
 * demo, built over GStreamer's RTSP server. It serves
 *
 *   rtsp://127.0.0.1:PORT/cam        H.264 test picture with a running clock
 *   rtsp://127.0.0.1:PORT/cam-sound  the same, with a G.711 mu-law tone
 *
 * as IP cameras do (H.264 baseline, parameter sets with every key picture,
 * one key picture a second, one slice a picture). With --user NAME:PASSWORD it asks for them
 * (basic authentication), as cameras do. It runs until SIGTERM or SIGINT,
 * then closes its sessions and its socket and exits; it writes no files.
 *
 *   kova-test-camera --port N [--user NAME:PASSWORD] [--size WxH]
 *
 * The picture is the SMPTE colour bars: fixed colours a test can look for. */
#include <glib-unix.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static gboolean Quit(gpointer loop)
{
    g_main_loop_quit(loop);
    return G_SOURCE_REMOVE;
}

static void Usage(void)
{
    fprintf(stderr, "usage: kova-test-camera --port N [--user NAME:PASSWORD] [--size WxH]\n");
}

int main(int argc, char **argv)
{
    const char *port = NULL, *user = NULL;
    int width = 640, height = 360;
    gst_init(&argc, &argv);
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--port") == 0 && i + 1 < argc) port = argv[++i];
        else if (strcmp(argv[i], "--user") == 0 && i + 1 < argc) user = argv[++i];
        else if (strcmp(argv[i], "--size") == 0 && i + 1 < argc && sscanf(argv[++i], "%dx%d", &width, &height) == 2) {
        } else {
            Usage();
            return 1;
        }
    }
    if (!port || atoi(port) <= 0) {
        Usage();
        return 1;
    }

    /* The clock needs the text overlay (Debian's gstreamer1.0-x); without it
     * the bars alone. */
    GstElementFactory *clock = gst_element_factory_find("clockoverlay");
    const char *overlay = clock ? "clockoverlay time-format=\"%H:%M:%S\" valignment=bottom halignment=right ! " : "";
    if (clock) gst_object_unref(clock);
    gchar *video = g_strdup_printf(
        "videotestsrc is-live=true pattern=smpte ! video/x-raw,width=%d,height=%d,framerate=25/1 ! %s"
        "videoconvert ! x264enc tune=zerolatency speed-preset=ultrafast threads=1 key-int-max=25 bitrate=1000 ! "
        "video/x-h264,profile=baseline ! rtph264pay name=pay0 pt=96 config-interval=-1",
        width, height, overlay);
    gchar *withSound = g_strdup_printf(
        "( %s audiotestsrc is-live=true samplesperbuffer=320 wave=sine freq=440 volume=0.3 ! audio/x-raw,rate=8000,channels=1 ! "
        "mulawenc ! rtppcmupay name=pay1 pt=0 )",
        video);
    gchar *videoOnly = g_strdup_printf("( %s )", video);

    GstRTSPServer *server = gst_rtsp_server_new();
    gst_rtsp_server_set_address(server, "127.0.0.1");
    gst_rtsp_server_set_service(server, port);
    GstRTSPMountPoints *mounts = gst_rtsp_server_get_mount_points(server);
    const char *launches[2] = {videoOnly, withSound};
    const char *paths[2] = {"/cam", "/cam-sound"};
    for (int i = 0; i < 2; ++i) {
        GstRTSPMediaFactory *factory = gst_rtsp_media_factory_new();
        gst_rtsp_media_factory_set_launch(factory, launches[i]);
        gst_rtsp_media_factory_set_shared(factory, TRUE);  /* one encoder for every viewer */
        if (user) {
            GstRTSPPermissions *permissions = gst_rtsp_permissions_new();
            gst_rtsp_permissions_add_role(permissions, "viewer", GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN,
                                          TRUE, GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, NULL);
            gst_rtsp_media_factory_set_permissions(factory, permissions);
            gst_rtsp_permissions_unref(permissions);
        }
        gst_rtsp_mount_points_add_factory(mounts, paths[i], factory);
    }
    g_object_unref(mounts);
    if (user) {
        const char *colon = strchr(user, ':');
        if (!colon) {
            Usage();
            return 1;
        }
        gchar *name = g_strndup(user, (gsize)(colon - user));
        GstRTSPAuth *auth = gst_rtsp_auth_new();
        GstRTSPToken *token = gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, "viewer", NULL);
        gchar *basic = gst_rtsp_auth_make_basic(name, colon + 1);
        gst_rtsp_auth_add_basic(auth, basic, token);
        g_free(basic);
        gst_rtsp_token_unref(token);
        gst_rtsp_server_set_auth(server, auth);
        g_object_unref(auth);
        g_free(name);
    }

    GMainLoop *loop = g_main_loop_new(NULL, FALSE);
    const guint id = gst_rtsp_server_attach(server, NULL);
    if (id == 0) {
        fprintf(stderr, "kova-test-camera: cannot listen on 127.0.0.1:%s\n", port);
        return 2;
    }
    g_unix_signal_add(SIGTERM, Quit, loop);
    g_unix_signal_add(SIGINT, Quit, loop);
    printf("kova-test-camera: rtsp://127.0.0.1:%s/cam and /cam-sound\n", port);
    fflush(stdout);
    g_main_loop_run(loop);

    /* Sessions, media and the listening socket go with the server. */
    g_source_remove(id);
    g_object_unref(server);
    g_main_loop_unref(loop);
    g_free(video);
    g_free(withSound);
    g_free(videoOnly);
    return 0;
}
